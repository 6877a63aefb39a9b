#include "app/shell/welcomeview.h"

#include "app/shell/icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace brenvo {

WelcomeView::WelcomeView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("welcome"));
    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName(QStringLiteral("Brenvo"));

    auto* title = new QLabel(tr("Welcome to Brenvo"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setWeight(QFont::DemiBold);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    auto* text = new QLabel(tr("You do not have any person to share with yet. Share your user card and import it "
                               "on another machine. Likewise, import other people's cards onto this machine."),
                            this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    text->setFixedWidth(440);
    text->setMinimumHeight(text->heightForWidth(440));

    auto* share = new QPushButton(tr("Share My Card…"), this);
    auto* import = new QPushButton(tr("Import Cards…"), this);
    import->setDefault(true);
    connect(share, &QPushButton::clicked, this, &WelcomeView::exportCardRequested);
    connect(import, &QPushButton::clicked, this, &WelcomeView::importCardRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(share);
    buttons->addWidget(import);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(icon);
    layout->addWidget(title);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->addStretch();
}

}  // namespace brenvo
