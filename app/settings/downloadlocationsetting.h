#pragma once

#include "vortan/downloadlocation.h"

#include <QString>

#include <optional>

namespace brenvo {

// Where the person wants downloads to go, as chosen in the settings, and its
// stored text: a folder's path, "Downloads", "Ask" or "Other".
class DownloadLocationSetting {
public:
    enum class Kind {
        other,          // a folder the person chose
        downloads,      // the Downloads folder
        ask,            // ask for each download
        otherMenuItem,  // "Other…" picked, its folder chooser still open
    };

    static DownloadLocationSetting other(QString folder) { return {Kind::other, std::move(folder)}; }
    static DownloadLocationSetting downloads() { return {Kind::downloads, {}}; }
    static DownloadLocationSetting ask() { return {Kind::ask, {}}; }
    static DownloadLocationSetting otherMenuItem() { return {Kind::otherMenuItem, {}}; }

    // Any text that is not one of the three words is a folder's path. An
    // empty text (nothing usable stored) is the Downloads folder.
    static DownloadLocationSetting fromRawValue(const QString& raw);
    QString rawValue() const;

    Kind kind() const { return m_kind; }
    // The chosen folder for `other`, else empty.
    const QString& folder() const { return m_folder; }
    // The folder downloads go into without asking: the chosen one, or the
    // Downloads folder; none for ask and otherMenuItem.
    std::optional<QString> directoryPath() const;

    // For a download started where no dialog can be shown (a notification's
    // button): the folder when there is one, else the library's downloads.
    vortan::DownloadLocation withoutDialog() const;

    friend bool operator==(const DownloadLocationSetting&, const DownloadLocationSetting&) = default;

private:
    DownloadLocationSetting(Kind kind, QString folder) : m_kind(kind), m_folder(std::move(folder)) {}

    Kind m_kind;
    QString m_folder;
};

// The person's Downloads folder, looked up once per process (and created when
// missing); ~/Downloads when the lookup fails.
QString downloadsDirectory();

}  // namespace brenvo
