#pragma once

#include "update/BundleInfo.h"

#include <QWidget>

class QLabel;

namespace quorvel {

// The application's icon mark at a given size: our own artwork. Draws nothing when the artwork
// is not part of the build.
class VemoAppIconMark final : public QWidget {
    Q_OBJECT
public:
    static constexpr auto artwork = ":/icons/AppIcon.svg";

    explicit VemoAppIconMark(int size, QWidget *parent = nullptr);
    int size() const { return m_size; }
    bool hasArtwork() const;
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_size;
};

// The about window's content, centred: icon, name, version line, tag line, the three web
// pages and the copyright notice.
class AboutView final : public QWidget {
    Q_OBJECT
public:
    static constexpr auto productName = "Quorvel";
    static constexpr auto homepageAddress = "https://quorvel.app/quorvel/";
    static constexpr auto privacyAddress = "https://quorvel.app/quorvel/privacy/";

    explicit AboutView(BundleInfo bundle = BundleInfo::running(), QWidget *parent = nullptr);

    QString versionLine() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    BundleInfo m_bundle;
    QLabel *m_name;
    QLabel *m_version;
    QLabel *m_tagLine;
    QLabel *m_copyright;
};

} // namespace quorvel
