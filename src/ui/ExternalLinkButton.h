#pragma once

#include <QAbstractButton>
#include <QUrl>

namespace quorvel {

// A link: a symbol and a title in the accent colour, underlined under the pointer, that
// opens a web address in the system's default handler. Drawn without a button's margins so
// its text lines up with the labels around it. The title is a key, looked up again on every
// language change; the symbol follows the palette.
class ExternalLinkButton final : public QAbstractButton {
    Q_OBJECT
public:
    ExternalLinkButton(const char *title, QString systemImage, QUrl url, QWidget *parent = nullptr);

    const char *title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }
    QUrl url() const { return m_url; }

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void retranslate();
    void restyle();

    const char *m_title;
    QString m_systemImage;
    QUrl m_url;
};

} // namespace quorvel
