#include "ui/AboutView.h"

#include "ui/ExternalLinkButton.h"
#include "ui/SettingsRows.h"
#include "ui/SettingsView.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace quorvel {

using SettingsStyle::Tone;

VemoAppIconMark::VemoAppIconMark(int size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    setObjectName(QStringLiteral("appIconMark"));
    setFixedSize(size, size);
}

bool VemoAppIconMark::hasArtwork() const
{
    return QFile::exists(QString::fromLatin1(artwork));
}

void VemoAppIconMark::paintEvent(QPaintEvent *)
{
    if (!hasArtwork())
        return;
    QSvgRenderer renderer(QString::fromLatin1(artwork));
    if (!renderer.isValid())
        return;
    // Drawn at the screen's density, in its own colours.
    const qreal ratio = devicePixelRatioF();
    QImage image(QSize(m_size, m_size) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter svg(&image);
        svg.setRenderHint(QPainter::Antialiasing);
        QSizeF drawn = renderer.defaultSize().isValid() ? QSizeF(renderer.defaultSize()) : QSizeF(m_size, m_size);
        drawn.scale(QSizeF(image.size()), Qt::KeepAspectRatio);
        renderer.render(
            &svg, QRectF(QPointF((image.width() - drawn.width()) / 2, (image.height() - drawn.height()) / 2), drawn));
    }
    image.setDevicePixelRatio(ratio);
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), image);
}

AboutView::AboutView(BundleInfo bundle, QWidget *parent)
    : QWidget(parent)
    , m_bundle(std::move(bundle))
    , m_name(new QLabel)
    , m_version(new QLabel)
    , m_tagLine(new QLabel)
    , m_copyright(new QLabel)
{
    setObjectName(QStringLiteral("aboutView"));
    m_name->setObjectName(QStringLiteral("aboutName"));
    m_version->setObjectName(QStringLiteral("aboutVersion"));
    m_tagLine->setObjectName(QStringLiteral("aboutTagLine"));
    m_copyright->setObjectName(QStringLiteral("aboutCopyright"));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(28, 24, 28, 20);
    column->setSpacing(6);
    auto *icon = new VemoAppIconMark(56);
    icon->setVisible(icon->hasArtwork());
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addSpacing(4);

    QFont title = font();
    title.setPointSizeF(title.pointSizeF() > 0 ? title.pointSizeF() * 1.6 : 16);
    title.setWeight(QFont::DemiBold);
    m_name->setFont(title);
    m_name->setText(QString::fromLatin1(productName));
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_tagLine->setFont(SettingsStyle::captionFont(font()));
    m_copyright->setFont(SettingsStyle::captionFont(font()));
    for (QLabel *label : {m_name, m_version, m_tagLine}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        column->addWidget(label);
    }

    column->addSpacing(10);
    auto *links = new QHBoxLayout;
    links->setSpacing(18);
    links->addStretch(1);
    struct Link {
        const char *title;
        const char *symbol;
        const char *address;
        const char *name;
    };
    const Link all[] = {
        {QT_TRID_NOOP("help"), "questionmark.circle", SettingsView::helpAddress, "helpLink"},
        {QT_TRID_NOOP("projectHomepage"), "house", homepageAddress, "homepageLink"},
        {QT_TRID_NOOP("privacyPolicy"), "lock.shield", privacyAddress, "privacyLink"},
    };
    for (const Link &link : all) {
        auto *button = new ExternalLinkButton(link.title, QString::fromLatin1(link.symbol),
                                              QUrl(QString::fromLatin1(link.address)));
        button->setObjectName(QString::fromLatin1(link.name));
        links->addWidget(button);
    }
    links->addStretch(1);
    column->addLayout(links);
    column->addSpacing(8);
    m_copyright->setAlignment(Qt::AlignHCenter);
    m_copyright->setWordWrap(true);
    column->addWidget(m_copyright);
    retranslate();
}

QString AboutView::versionLine() const
{
    return m_bundle.aboutVersionLine();
}

void AboutView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        retranslate();
}

void AboutView::retranslate()
{
    m_version->setText(versionLine());
    m_tagLine->setText(qtTrId("keepTasksRunning"));
    m_copyright->setText(qtTrId("copyrightNotice"));
    SettingsStyle::setTone(m_tagLine, Tone::secondary);
    SettingsStyle::setTone(m_copyright, Tone::secondary);
    setAccessibleName(qtTrId("aboutApp"));
}

} // namespace quorvel
