#include "app/shell/infobar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace brenvo {

namespace {

// One message a line, each a sentence (it may begin with a file's name).
QString sentence(const QString& message)
{
    QString text = message.simplified();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return text;
}

}  // namespace

InfoBar::InfoBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("infoBar"));
    setAccessibleName(tr("Problems"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0xfd, 0xf0, 0xc8));
    colours.setColor(QPalette::WindowText, QColor(0x3d, 0x2e, 0x00));
    setPalette(colours);

    m_icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
    m_icon->setAlignment(Qt::AlignTop);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("infoBarText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("infoBarClose"));
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
    m_close->setToolTip(tr("Dismiss"));
    m_close->setAccessibleName(tr("Dismiss"));
    connect(m_close, &QToolButton::clicked, this, &InfoBar::dismissed);
    m_import = new QPushButton(tr("Import Card…"), this);
    m_import->setObjectName(QStringLiteral("infoBarImport"));
    m_import->setAccessibleName(tr("Import Card…"));
    m_import->hide();
    connect(m_import, &QPushButton::clicked, this, &InfoBar::importRequested);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 6, 6);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_import, 0, Qt::AlignTop);
    layout->addWidget(m_close, 0, Qt::AlignTop);
    hide();
}

void InfoBar::setMessages(const QStringList& messages)
{
    QStringList lines;
    for (const QString& message : messages)
        lines.append(sentence(message));
    m_text->setText(lines.join(QLatin1Char('\n')));
    m_text->setAccessibleName(m_text->text());
    setVisible(!lines.isEmpty());
}

void InfoBar::setImportOffered(bool offered)
{
    m_import->setVisible(offered);
}

QString InfoBar::text() const
{
    return m_text->text();
}

}  // namespace brenvo
