// The diagnosis component's version files (src/diagnosis/VersionFile.cpp),
// as the file server or a damaged disk may hand them over. Whatever they
// hold: every entry kept has a plain (printable ASCII) name and value, names are unique, an
// entry written afterwards is read back with every other entry kept, and
// the version ordering is a strict order (never both ways, never against
// itself).
#include "FuzzSupport.h"

#include <diagnosis/VersionFile.h>

#include <QCoreApplication>
#include <QDir>
#include <QSet>

namespace {

bool plain(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return text.size() <= diagnosis::kMaxVersionFieldChars;
}

const QString& scratchFile()
{
    static const QString path = [] {
        const QString dir = QString::fromStdString(fuzz::scratchFolder()) + QStringLiteral("/versions");
        QDir().mkpath(dir);
        return dir + QStringLiteral("/VehNewestVersion.ini");
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    scratchFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::string text = in.piece();
    const QString first = QString::fromStdString(in.piece());
    const QString second = QString::fromStdString(in.piece());

    const diagnosis::VersionFile file = diagnosis::parseVersionText(QByteArray::fromStdString(text));
    QSet<QString> names;
    for (const auto& entry : file.entries) {
        BW_FUZZ_CHECK(!entry.first.isEmpty() && plain(entry.first) && plain(entry.second));
        BW_FUZZ_CHECK(!entry.first.contains(QLatin1Char('=')));
        BW_FUZZ_CHECK(!names.contains(entry.first));
        names.insert(entry.first);
    }

    // Written back through the file: the new entry and every old one.
    fuzz::writeFile(scratchFile().toStdString(), text);
    if (diagnosis::writeVersionEntry(scratchFile(), QStringLiteral("Bmw"), QStringLiteral("1.0.2"))) {
        const diagnosis::VersionFile back = diagnosis::readVersionFile(scratchFile());
        BW_FUZZ_CHECK(back.status == diagnosis::VersionFile::Status::Ok && back.oddLines == 0);
        BW_FUZZ_CHECK(back.value(QStringLiteral("Bmw")) == QLatin1String("1.0.2"));
        for (const auto& entry : file.entries) {
            if (entry.first != QLatin1String("Bmw"))
                BW_FUZZ_CHECK(back.value(entry.first) == entry.second);
        }
    }

    BW_FUZZ_CHECK(!diagnosis::isNewerVersion(first, first));
    BW_FUZZ_CHECK(!(diagnosis::isNewerVersion(first, second) && diagnosis::isNewerVersion(second, first)));
    return 0;
}
