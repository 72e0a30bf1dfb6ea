#pragma once

#include <QToolButton>
#include <QUrl>

namespace quorvel {

// A link-styled button that opens a web address in the system's default handler. Its title
// is a key, looked up again on every language change; the symbol follows the palette.
class ExternalLinkButton final : public QToolButton {
    Q_OBJECT
public:
    ExternalLinkButton(const char *title, QString systemImage, QUrl url, QWidget *parent = nullptr);

    const char *title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }
    QUrl url() const { return m_url; }

protected:
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void retranslate();
    void restyle();

    const char *m_title;
    QString m_systemImage;
    QUrl m_url;
    bool m_restyling = false;
};

} // namespace quorvel
