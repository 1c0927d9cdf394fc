// 7628_upgrade, app_upgrade and can_upgrade: write one firmware image (the
// MT7628 module's system firmware, its application, or the CAN controller's
// firmware) into the adapter at vciIP, and exit 0 only when the adapter has
// confirmed the write. Usage and exit codes: docs/upgraders.md.
#include "MT7628Config.h"
#include "firmware/FirmwareImage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

enum Exit { kWritten = 0, kUsage = 1, kBadFile = 2, kUnreachable = 3, kRefused = 4, kLost = 5 };

constexpr auto kImage = static_cast<MT7628Config::Image>(BW_UPGRADER_IMAGE);
// No adapter takes an image anywhere near this size; a larger file is not read.
constexpr std::uintmax_t kMaxFileBytes = 64 * 1024 * 1024;

int failure(int code, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", BW_UPGRADER_NAME, message.c_str());
    return code;
}

// The whole file, or a reason it cannot be sent.
bool readImageFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& why)
{
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
    if (!regular || ec) {
        why = "cannot read " + path + ": not a readable file";
        return false;
    }
    if (size > kMaxFileBytes) {
        why = path + " is too large for a firmware image";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        why = "cannot read " + path;
        return false;
    }
    return true;
}

// The checks that need no adapter: a header, the stated length, the checksum.
// The marker is the adapter's to judge: only it knows which family it is and
// whether it runs its boot loader.
const char* localCheck(const std::vector<unsigned char>& bytes)
{
    const auto header = firmware::readHeader(bytes.data(), bytes.size());
    if (!header)
        return firmware::checkText(
            bytes.size() < firmware::kHeaderSize ? firmware::Check::TooShort : firmware::Check::NoHeader);
    if (bytes.size() - firmware::kHeaderSize != header->length)
        return firmware::checkText(firmware::Check::WrongLength);
    if (firmware::crc32(bytes.data() + firmware::kHeaderSize, header->length) != header->crc32)
        return firmware::checkText(firmware::Check::WrongChecksum);
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    // --unchecked sends the file without the local check, to see what the adapter says of it.
    const bool unchecked = !args.empty() && args.front() == "--unchecked";
    if (unchecked)
        args.erase(args.begin());
    if (args.size() != 2)
        return failure(kUsage, "usage: " BW_UPGRADER_NAME " [--unchecked] IMAGE_FILE vciIP");
    const std::string& path = args[0];
    const std::string& ip = args[1];

    std::vector<unsigned char> image;
    std::string why;
    if (!readImageFile(path, image, why))
        return failure(kBadFile, why);
    if (const char* bad = unchecked ? nullptr : localCheck(image))
        return failure(kBadFile, path + ": " + bad);

    MT7628Config adapter;
    int shown = -10; // the last percentage printed, in steps of ten
    const auto outcome = adapter.UploadImage(
        ip, kImage, image.data(), image.size(), [&shown](std::uint64_t done, std::uint64_t total) {
            const int percent = static_cast<int>(done * 100 / total);
            if (percent / 10 != shown / 10) {
                shown = percent;
                std::printf("sent %d%%\n", percent);
                std::fflush(stdout);
            }
        });
    switch (outcome.result) {
    case MT7628Config::UploadResult::Written:
        std::printf("written: %s\n", outcome.version.c_str());
        return kWritten;
    case MT7628Config::UploadResult::BadAddress:
        return failure(kUsage, outcome.message);
    case MT7628Config::UploadResult::BadImage:
        return failure(kBadFile, outcome.message);
    case MT7628Config::UploadResult::Unreachable:
        return failure(kUnreachable, outcome.message);
    case MT7628Config::UploadResult::Refused:
        return failure(kRefused, "the adapter refused the image: " + outcome.message);
    case MT7628Config::UploadResult::TimedOut:
    case MT7628Config::UploadResult::Lost:
        break;
    }
    return failure(kLost, outcome.message);
}
