// Renders the card dialogs for the documentation into OUT_DIR (run by
// scripts/screenshots.sh on the offscreen platform): sharing the own card,
// importing cards (one of them changed), editing a user, choosing recipients.
//   brenvo-card-dialogs OUT_DIR

#include "app/cards/shareview.h"
#include "app/cards/userdetailsview.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>

#include <cstdio>

using vortan::User;

using namespace brenvo;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: brenvo-card-dialogs OUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << "/usr/share/icons");
    QIcon::setThemeName("breeze");
    bool saved = true;
    const auto save = [&](QDialog& dialog, const char* name) {
        dialog.show();
        dialog.adjustSize();
        saved = dialog.grab().save(out + QLatin1Char('/') + QLatin1String(name)) && saved;
    };
    QByteArray countingKey;
    for (char i = 0; i < 32; ++i)
        countingKey.append(i);
    const User ada("Ada’s laptop", "ada.example.net", 54322, countingKey);
    const User bo("Bo", "192.0.2.14", 54322, QByteArray(32, '\x5b'));
    const User cy("Cy", std::nullopt, std::nullopt, QByteArray(32, '\xc3'));
    using Kind = UserViewConfiguration::Kind;

    UserDetailsView share({Kind::share, {ada}, {}});
    share.setWindowTitle("Share Card");
    save(share, "cards-share.png");
    User oldBo = bo;
    oldBo.address = "192.0.2.9";
    UserDetailsView import({Kind::import, {cy, bo, ada}, {oldBo}});
    import.showUser(1);
    save(import, "cards-import.png");
    UserDetailsView edit({Kind::user, {bo}, {}});
    save(edit, "cards-edit.png");
    ShareView chooser({ada, bo, cy}, bo.key, "Select the people to share with");
    save(chooser, "cards-recipients.png");
    if (!saved)
        std::fprintf(stderr, "brenvo-card-dialogs: could not write the pictures into %s\n", argv[1]);
    return saved ? 0 : 1;
}
