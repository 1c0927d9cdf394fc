// The command block from both sides: the manager's CommandBlock reading a
// reply copy, the service's CommandMailbox answering whatever the block holds,
// and the layout's readers and writers in between. The input is the block's
// starting bytes, its size (a block another process shrank), then a sequence
// of writes by the manager, a scribbler and polls by the service.
#include "FuzzSupport.h"

#include <CommandMailbox.h>
#include <blocks/CommandBlockLayout.h>
#include <device/CommandBlock.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using namespace blocks;

bool isSerialByte(unsigned char c)
{
    return c >= 0x21 && c <= 0x7E;
}

// What the service may make of a selected serial the manager wrote: its
// first 16 bytes up to a NUL, or nothing when one of them cannot be in a serial.
std::string expectedSelection(const std::string& written)
{
    std::string s = written.substr(0, std::min(written.size(), kSerialBytes));
    s = s.substr(0, s.find('\0'));
    return std::all_of(s.begin(), s.end(), [](char c) { return isSerialByte(static_cast<unsigned char>(c)); })
        ? s
        : std::string();
}

// A list entry as the manager reads it back: 16 bytes at most, up to a NUL.
std::string expectedEntry(const std::string& serial)
{
    const std::string cut = serial.substr(0, std::min(serial.size(), kSerialBytes));
    return cut.substr(0, cut.find('\0'));
}

bool isPlainSerial(const std::string& s)
{
    return s.size() <= kSerialBytes
        && std::all_of(s.begin(), s.end(), [](char c) { return isSerialByte(static_cast<unsigned char>(c)); });
}

void checkReplyCopy(const unsigned char* block, std::size_t size)
{
    const std::vector<std::string> list = readDeviceList(block, size);
    BW_FUZZ_CHECK(list.size() <= entryCapacity(size));
    for (const std::string& s : list)
        BW_FUZZ_CHECK(s.size() <= kSerialBytes && s.find('\0') == std::string::npos);
    // The manager's records: only the serial, terminated, connection kind 255.
    const std::vector<VciStatusRecord> records = CommandBlock::parseListReply(block, size);
    BW_FUZZ_CHECK(records.size() == list.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const VciStatusRecord& r = records[i];
        BW_FUZZ_CHECK(::strnlen(r.SN, sizeof r.SN) < sizeof r.SN && list[i] == r.SN);
        BW_FUZZ_CHECK(r.connType == kConnTypeUnknownListEntry && r.status == 0 && r.vbatt == 0);
        BW_FUZZ_CHECK(r.vciIP[0] == 0 && r.key[0] == 0 && r.softVer[0] == 0);
    }
}

bool knownRequest(std::uint8_t r)
{
    return r == RequestIdle || r == RequestList || r == ReplyReady || r == ModeRemote || r == ModeLocal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    // The service sees `blockSize` bytes; the manager's side always maps the
    // full block, so its writes need at least the selected serial's bytes.
    const std::size_t blockSize = in.u16() % (kCommandBlockSize + 1);
    std::vector<unsigned char> block(std::max(blockSize, kEntriesOffset), 0);
    const std::string initial = in.piece();
    std::memcpy(block.data(), initial.data(), std::min(initial.size(), block.size()));
    checkReplyCopy(block.data(), blockSize);

    bwservice::CommandMailbox mailbox;
    std::int64_t now = 0;
    bool answered = false;
    std::int64_t answeredAt = 0;
    bool garbageShown = false; // the byte that was last reported as garbage is still there
    std::uint8_t garbageByte = 0;

    while (!in.empty()) {
        switch (in.byte() % 5) {
        case 0: { // the manager selects a serial
            const std::string serial = in.piece();
            const std::vector<unsigned char> before = block;
            writeSelectedSerial(block.data(), serial);
            BW_FUZZ_CHECK(readSelectedSerial(block.data()) == expectedSelection(serial));
            BW_FUZZ_CHECK(std::equal(block.begin(), block.begin() + kSelectedOffset, before.begin()));
            BW_FUZZ_CHECK(std::equal(block.begin() + kEntriesOffset, block.end(), before.begin() + kEntriesOffset));
            break;
        }
        case 1: // the manager (or anyone) writes the request byte
            storeRequest(block.data(), in.byte());
            break;
        case 2: { // a scribbler changes one byte anywhere
            const std::size_t at = in.u16() % block.size();
            block[at] = in.byte();
            break;
        }
        case 3: // the manager takes a reply
            checkReplyCopy(block.data(), block.size());
            std::memset(block.data() + 1, 0, block.size() - 1);
            storeRequest(block.data(), RequestIdle);
            break;
        default: { // the service looks at the block
            std::vector<std::string> serials(in.byte() % 70);
            for (std::string& s : serials)
                s = in.piece();
            now += in.byte() * 16;
            const bool ready = in.byte() & 1;
            const std::uint8_t request = loadRequest(block.data());
            const std::string selection = readSelectedSerial(block.data());
            const std::string before = mailbox.selectedSerial();
            const std::uint8_t modeBefore = mailbox.mode();
            const std::vector<unsigned char> selectedBytes(
                block.begin() + kSelectedOffset, block.begin() + kEntriesOffset);
            // A selection that vanishes right after a reply is held for the
            // grace time (the manager zeroes the block when it takes a reply).
            const bool graceHeld = selection.empty() && answered && now - answeredAt < bwservice::kSelectionGraceMs;

            const auto event = mailbox.poll(block.data(), blockSize, serials, now, ready);
            using Event = bwservice::CommandMailbox::Event;
            if (blockSize <= kEntriesOffset) {
                BW_FUZZ_CHECK(event == Event::None);
                break;
            }
            // A list request is answered once the lists are ready, with
            // every serial (cut to an entry) that fits, the selection kept.
            if (request == RequestList && ready) {
                BW_FUZZ_CHECK(event == Event::ListAnswered);
                BW_FUZZ_CHECK(loadRequest(block.data()) == ReplyReady);
                const std::vector<std::string> list = readDeviceList(block.data(), blockSize);
                BW_FUZZ_CHECK(list.size() == std::min(serials.size(), entryCapacity(blockSize)));
                for (std::size_t i = 0; i < list.size(); ++i)
                    BW_FUZZ_CHECK(list[i] == expectedEntry(serials[i]));
                BW_FUZZ_CHECK(std::equal(selectedBytes.begin(), selectedBytes.end(), block.begin() + kSelectedOffset));
                answered = true;
                answeredAt = now;
            } else {
                BW_FUZZ_CHECK(event != Event::ListAnswered);
                BW_FUZZ_CHECK(loadRequest(block.data()) == request);
            }
            // The mode follows the two mode bytes only.
            if (request == ModeRemote || request == ModeLocal) {
                BW_FUZZ_CHECK(mailbox.mode() == request);
                BW_FUZZ_CHECK((event == Event::ModeChanged) == (request != modeBefore));
            } else {
                BW_FUZZ_CHECK(mailbox.mode() == modeBefore && event != Event::ModeChanged);
            }
            // A byte that means nothing is reported once until it changes.
            if (!knownRequest(request)) {
                BW_FUZZ_CHECK((event == Event::Garbage) == !(garbageShown && garbageByte == request));
                garbageShown = true;
                garbageByte = request;
            } else {
                BW_FUZZ_CHECK(event != Event::Garbage);
                garbageShown = false;
            }
            BW_FUZZ_CHECK(mailbox.selectedSerial() == (graceHeld ? before : selection));
            BW_FUZZ_CHECK(isPlainSerial(mailbox.selectedSerial()));
            if (mailbox.selectedSerial() != before)
                BW_FUZZ_CHECK(event != Event::None);
            else
                BW_FUZZ_CHECK(event != Event::SelectionChanged);
            break;
        }
        }
    }
    return 0;
}
