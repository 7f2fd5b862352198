#pragma once

// The fonts the art is painted with, taken from fixed files rather than from whatever the
// machine's font configuration offers under the same family names (two installed versions of
// Liberation draw different pixels, and which one wins depends on the machine), so that the
// pictures are the same on every machine and every build.

#include <QString>
#include <QTemporaryFile>

namespace qelvo::art {

class ArtFonts {
public:
    // The folder of the Debian package fonts-liberation, which scripts/setup installs.
    static constexpr const char* kFolder = "/usr/share/fonts/truetype/liberation";

    // Hides every installed font from this process by pointing the font configuration at an
    // empty one.  Must run before the application object is made.  False, with the reason in
    // `problem`, when the empty configuration cannot be written.
    bool hideInstalledFonts(QString& problem);

    // Adds the Liberation Sans and Liberation Sans Narrow files, regular and bold, by path.
    // Needs the application object.  False, naming the missing or unusable file in
    // `problem`, when one cannot be added.
    static bool load(QString& problem);

private:
    QTemporaryFile emptyConfiguration_;
};

}  // namespace qelvo::art
