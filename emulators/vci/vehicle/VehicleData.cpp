#include "VehicleData.h"

#include <json/reader.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vehicle {

namespace {

constexpr std::size_t kMaxEcus = 32;
constexpr std::size_t kMaxText = 64;
constexpr std::size_t kMaxDtcs = 255;
constexpr std::size_t kMaxDids = 128;
constexpr std::size_t kMaxDidBytes = 1024;

struct Fail {
    std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw Fail{where.empty() ? what : where + ": " + what};
}

void onlyKeys(const Json::Value& v, const std::string& where, std::initializer_list<const char*> keys)
{
    for (const std::string& name : v.getMemberNames()) {
        bool known = false;
        for (const char* k : keys)
            known = known || name == k;
        if (!known)
            fail(where, "unknown key \"" + name + "\"");
    }
}

std::string join(const std::string& where, const std::string& key)
{
    return where.empty() ? key : where + "." + key;
}

// A number, or a string with a decimal or 0x-prefixed hexadecimal number.
std::uint64_t number(const Json::Value& v, const std::string& where, std::uint64_t min, std::uint64_t max)
{
    std::uint64_t n = 0;
    if (v.isUInt64()) {
        n = v.asUInt64();
    } else if (v.isString()) {
        const std::string s = v.asString();
        if (s.empty() || s.size() > 20)
            fail(where, "not a number");
        const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        const std::string digits = hex ? s.substr(2) : s;
        if (digits.empty()
            || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
            fail(where, "not a number: \"" + s + "\"");
        errno = 0;
        n = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
        if (errno == ERANGE)
            fail(where, "number too large");
    } else {
        fail(where, "expected a number");
    }
    if (n < min || n > max)
        fail(where, "out of range (" + std::to_string(min) + ".." + std::to_string(max) + ")");
    return n;
}

std::string text(const Json::Value& v, const std::string& where, std::size_t maxLength = kMaxText)
{
    if (!v.isString())
        fail(where, "expected a string");
    const std::string s = v.asString();
    if (s.size() > maxLength)
        fail(where, "longer than " + std::to_string(maxLength) + " characters");
    for (unsigned char c : s) {
        if (c < 0x20 || c > 0x7E)
            fail(where, "only printable ASCII characters are allowed");
    }
    return s;
}

bool flag(const Json::Value& v, const std::string& where)
{
    if (!v.isBool())
        fail(where, "expected true or false");
    return v.asBool();
}

int pinsOf(const Json::Value& v, const std::string& where)
{
    const std::string s = text(v, where);
    if (s == "6-14")
        return 0;
    if (s == "3-11")
        return 1;
    fail(where, "expected \"6-14\" or \"3-11\"");
}

Bytes hexBytes(const std::string& s, const std::string& where)
{
    std::string digits;
    for (char c : s) {
        if (c != ' ')
            digits += c;
    }
    if (digits.size() % 2 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        fail(where, "expected pairs of hexadecimal digits");
    Bytes out;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(std::uint8_t(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

BusRate busRate(const Json::Value& v, const std::string& where)
{
    if (!v.isObject())
        fail(where, "expected an object");
    onlyKeys(v, where, {"bitrate", "dataBitrate"});
    BusRate r;
    if (v.isMember("bitrate"))
        r.bitrate = std::uint32_t(number(v["bitrate"], join(where, "bitrate"), 100000, 1000000));
    if (v.isMember("dataBitrate")) {
        r.dataBitrate = std::uint32_t(number(v["dataBitrate"], join(where, "dataBitrate"), 0, 5000000));
        if (r.dataBitrate && r.dataBitrate < 1000000)
            fail(join(where, "dataBitrate"), "must be 0 (no CAN FD) or 1000000..5000000");
    }
    return r;
}

EcuDescription ecu(const Json::Value& v, const std::string& where)
{
    if (!v.isObject())
        fail(where, "expected an object");
    onlyKeys(v, where,
        {"name", "pins", "requestId", "responseId", "functionalId", "extended", "fd", "obd", "padding", "padValue",
            "blockSize", "stMin", "answerDelayUs", "resetMs", "securityConstant", "routine", "partNumber",
            "softwareNumber", "softwareVersion", "supplier", "manufacturingDate", "serialNumber", "hardwareNumber",
            "systemName", "ecuName", "calibrationId", "dids", "dtcs"});
    EcuDescription e;
    for (const char* required : {"name", "pins", "requestId", "responseId"}) {
        if (!v.isMember(required))
            fail(where, std::string("\"") + required + "\" is missing");
    }
    e.name = text(v["name"], join(where, "name"), 32);
    if (e.name.empty() || e.name.find_first_of(" \t") != std::string::npos)
        fail(join(where, "name"), "must be one word");
    e.pins = pinsOf(v["pins"], join(where, "pins"));
    if (v.isMember("extended"))
        e.extended = flag(v["extended"], join(where, "extended"));
    const std::uint64_t maxId = e.extended ? 0x1FFFFFFF : 0x7FF;
    e.requestId = std::uint32_t(number(v["requestId"], join(where, "requestId"), 0, maxId));
    e.responseId = std::uint32_t(number(v["responseId"], join(where, "responseId"), 0, maxId));
    if (e.requestId == e.responseId)
        fail(where, "requestId and responseId must differ");
    if (v.isMember("functionalId")) {
        e.functionalId = std::uint32_t(number(v["functionalId"], join(where, "functionalId"), 1, maxId));
        if (e.functionalId == e.requestId || e.functionalId == e.responseId)
            fail(join(where, "functionalId"), "must differ from the physical identifiers");
    }
    if (v.isMember("fd"))
        e.fd = flag(v["fd"], join(where, "fd"));
    if (v.isMember("obd"))
        e.obd = flag(v["obd"], join(where, "obd"));
    if (v.isMember("padding"))
        e.pad = flag(v["padding"], join(where, "padding"));
    if (v.isMember("padValue"))
        e.padValue = std::uint8_t(number(v["padValue"], join(where, "padValue"), 0, 255));
    if (v.isMember("blockSize"))
        e.blockSize = std::uint8_t(number(v["blockSize"], join(where, "blockSize"), 0, 255));
    if (v.isMember("stMin")) {
        e.stMin = std::uint8_t(number(v["stMin"], join(where, "stMin"), 0, 255));
        if (!(e.stMin <= 0x7F || (e.stMin >= 0xF1 && e.stMin <= 0xF9)))
            fail(join(where, "stMin"), "must be 0x00..0x7F or 0xF1..0xF9");
    }
    if (v.isMember("answerDelayUs"))
        e.answerDelayUs = std::int64_t(number(v["answerDelayUs"], join(where, "answerDelayUs"), 0, 10000000));
    if (v.isMember("resetMs"))
        e.resetMs = std::int64_t(number(v["resetMs"], join(where, "resetMs"), 0, 60000));
    if (v.isMember("securityConstant"))
        e.securityConstant
            = std::uint32_t(number(v["securityConstant"], join(where, "securityConstant"), 0, 0xFFFFFFFF));
    if (v.isMember("routine")) {
        const Json::Value& r = v["routine"];
        const std::string w = join(where, "routine");
        if (!r.isObject())
            fail(w, "expected an object");
        onlyKeys(r, w, {"id", "durationMs"});
        if (r.isMember("id"))
            e.routineId = std::uint16_t(number(r["id"], join(w, "id"), 0, 0xFFFF));
        if (r.isMember("durationMs"))
            e.routineMs = std::int64_t(number(r["durationMs"], join(w, "durationMs"), 0, 600000));
    }
    struct TextField {
        const char* key;
        std::string* target;
    } fields[] = {{"partNumber", &e.partNumber}, {"softwareNumber", &e.softwareNumber},
        {"softwareVersion", &e.softwareVersion}, {"supplier", &e.supplier}, {"manufacturingDate", &e.manufacturingDate},
        {"serialNumber", &e.serialNumber}, {"hardwareNumber", &e.hardwareNumber}, {"systemName", &e.systemName},
        {"ecuName", &e.ecuName}, {"calibrationId", &e.calibrationId}};
    for (const TextField& f : fields) {
        if (v.isMember(f.key))
            *f.target = text(v[f.key], join(where, f.key));
    }
    if (e.ecuName.size() > 20)
        fail(join(where, "ecuName"), "at most 20 characters (OBD ECU name)");
    if (e.calibrationId.size() > 16)
        fail(join(where, "calibrationId"), "at most 16 characters");
    if (v.isMember("dids")) {
        const Json::Value& d = v["dids"];
        const std::string w = join(where, "dids");
        if (!d.isObject())
            fail(w, "expected an object of \"DID\": value");
        if (d.size() > kMaxDids)
            fail(w, "more than " + std::to_string(kMaxDids) + " entries");
        for (const std::string& key : d.getMemberNames()) {
            const std::string k = join(w, key);
            if (key.size() != 4 || key.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                fail(k, "a data identifier is four hexadecimal digits");
            const std::uint16_t did = std::uint16_t(std::strtoul(key.c_str(), nullptr, 16));
            const Json::Value& value = d[key];
            Bytes bytes;
            if (value.isString()) {
                const std::string s = text(value, k, kMaxDidBytes);
                bytes.assign(s.begin(), s.end());
            } else if (value.isObject()) {
                onlyKeys(value, k, {"hex"});
                if (!value.isMember("hex"))
                    fail(k, "expected {\"hex\": \"...\"}");
                bytes = hexBytes(text(value["hex"], join(k, "hex"), kMaxDidBytes * 3), join(k, "hex"));
            } else {
                fail(k, "expected a text or {\"hex\": \"...\"}");
            }
            if (bytes.empty() || bytes.size() > kMaxDidBytes)
                fail(k, "a value has 1.." + std::to_string(kMaxDidBytes) + " bytes");
            e.dids[did] = bytes;
        }
    }
    if (v.isMember("dtcs")) {
        const Json::Value& d = v["dtcs"];
        const std::string w = join(where, "dtcs");
        if (!d.isArray())
            fail(w, "expected an array");
        if (d.size() > kMaxDtcs)
            fail(w, "more than " + std::to_string(kMaxDtcs) + " codes");
        for (Json::ArrayIndex i = 0; i < d.size(); ++i) {
            const std::string k = w + "[" + std::to_string(i) + "]";
            const Json::Value& entry = d[i];
            if (!entry.isObject())
                fail(k, "expected {\"code\": \"P0301\", \"status\": \"0x2F\"}");
            onlyKeys(entry, k, {"code", "status"});
            if (!entry.isMember("code"))
                fail(k, "\"code\" is missing");
            DtcEntry dtc;
            const std::string code = text(entry["code"], join(k, "code"));
            if (!parseDtcCode(code, &dtc.code))
                fail(join(k, "code"), "not a trouble code like P0301 or U012100: \"" + code + "\"");
            dtc.status
                = entry.isMember("status") ? std::uint8_t(number(entry["status"], join(k, "status"), 0, 255)) : 0x2F;
            for (const DtcEntry& other : e.dtcs) {
                if (other.code == dtc.code)
                    fail(join(k, "code"), "listed twice");
            }
            e.dtcs.push_back(dtc);
        }
    }
    return e;
}

void parseRoot(const Json::Value& root, VehicleDescription* description)
{
    if (!root.isObject())
        fail("", "the file must hold one JSON object");
    onlyKeys(root, "", {"name", "description", "vin", "fuel", "ambientC", "buses", "ecus"});
    for (const char* required : {"name", "vin", "ecus"}) {
        if (!root.isMember(required))
            fail("", std::string("\"") + required + "\" is missing");
    }
    VehicleDescription s;
    s.name = text(root["name"], "name");
    if (s.name.empty())
        fail("name", "must not be empty");
    if (root.isMember("description"))
        s.description = text(root["description"], "description", 256);
    s.vin = text(root["vin"], "vin");
    if (!validVin(s.vin))
        fail("vin", "a VIN is 17 characters of 0-9 and A-Z without I, O and Q");
    if (root.isMember("fuel")) {
        const std::string fuel = text(root["fuel"], "fuel");
        if (fuel != "petrol" && fuel != "diesel")
            fail("fuel", "expected \"petrol\" or \"diesel\"");
        s.diesel = fuel == "diesel";
    }
    if (root.isMember("ambientC")) {
        const Json::Value& a = root["ambientC"];
        if (!a.isNumeric() || a.asDouble() < -40 || a.asDouble() > 50)
            fail("ambientC", "expected a temperature of -40..50");
        s.ambientC = a.asDouble();
    }
    if (root.isMember("buses")) {
        const Json::Value& b = root["buses"];
        if (!b.isObject())
            fail("buses", "expected an object with \"6-14\" and/or \"3-11\"");
        onlyKeys(b, "buses", {"6-14", "3-11"});
        if (b.isMember("6-14"))
            s.rates[0] = busRate(b["6-14"], "buses.6-14");
        if (b.isMember("3-11"))
            s.rates[1] = busRate(b["3-11"], "buses.3-11");
    }
    const Json::Value& ecus = root["ecus"];
    if (!ecus.isArray() || ecus.empty())
        fail("ecus", "expected a non-empty array");
    if (ecus.size() > kMaxEcus)
        fail("ecus", "more than " + std::to_string(kMaxEcus) + " ECUs");
    for (Json::ArrayIndex i = 0; i < ecus.size(); ++i) {
        const std::string where = "ecus[" + std::to_string(i) + "]";
        EcuDescription e = ecu(ecus[i], where);
        if (e.fd && s.rates[e.pins].dataBitrate == 0)
            fail(where, "uses CAN FD on a bus without a data bit rate");
        for (const EcuDescription& other : s.ecus) {
            if (other.name == e.name)
                fail(join(where, "name"), "\"" + e.name + "\" is used twice");
            if (other.pins != e.pins)
                continue;
            const std::set<std::uint32_t> mine = {e.requestId, e.responseId};
            if (mine.count(other.requestId) || mine.count(other.responseId))
                fail(where, "shares an identifier with " + other.name + " on the same bus");
            if (e.functionalId && e.functionalId == other.requestId)
                fail(where, "functionalId is " + other.name + "'s request identifier");
        }
        s.ecus.push_back(std::move(e));
    }
    *description = std::move(s);
}

// JsonCpp's multi-line error text as one line: "Line 2, Column 7: Missing ','".
std::string oneLine(const std::string& text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t') {
            space = !out.empty();
            continue;
        }
        if (c == '*' && out.empty())
            continue;
        if (space) {
            // The location and the message are separate lines.
            out += (out.back() >= '0' && out.back() <= '9' && out.find(':') == std::string::npos) ? ": " : " ";
            space = false;
        }
        out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    }
    return out;
}

bool isDir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool validVin(const std::string& vin)
{
    if (vin.size() != 17)
        return false;
    return std::all_of(vin.begin(), vin.end(),
        [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z' && c != 'I' && c != 'O' && c != 'Q'); });
}

bool parseDtcCode(const std::string& s, std::uint32_t* code)
{
    if (s.size() != 5 && s.size() != 7)
        return false;
    static const std::string letters = "PCBU";
    const std::size_t system = letters.find(char(std::toupper(static_cast<unsigned char>(s[0]))));
    if (system == std::string::npos || s[1] < '0' || s[1] > '3')
        return false;
    const std::string rest = s.substr(2);
    if (rest.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const std::uint32_t low = std::uint32_t(std::strtoul(rest.substr(0, 3).c_str(), nullptr, 16));
    const std::uint32_t type = s.size() == 7 ? std::uint32_t(std::strtoul(rest.substr(3).c_str(), nullptr, 16)) : 0;
    *code = (std::uint32_t(system) << 22) | (std::uint32_t(s[1] - '0') << 20) | (low << 8) | type;
    return true;
}

std::string formatDtcCode(std::uint32_t code)
{
    static const char letters[] = "PCBU";
    static const char hex[] = "0123456789ABCDEF";
    std::string s;
    s += letters[(code >> 22) & 3];
    s += char('0' + ((code >> 20) & 3));
    s += hex[(code >> 16) & 0xF];
    s += hex[(code >> 12) & 0xF];
    s += hex[(code >> 8) & 0xF];
    if (code & 0xFF) {
        s += hex[(code >> 4) & 0xF];
        s += hex[code & 0xF];
    }
    return s;
}

bool parseVehicle(const std::string& text, VehicleDescription* description, std::string* error)
{
    std::string problem;
    if (text.size() > kMaxVehicleFileBytes) {
        problem = "larger than " + std::to_string(kMaxVehicleFileBytes / 1024) + " KiB";
    } else {
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        builder["collectComments"] = false;
        builder["stackLimit"] = kMaxVehicleJsonDepth;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value root;
        std::string errs;
        try {
            if (!reader->parse(text.data(), text.data() + text.size(), &root, &errs)) {
                problem = "not valid JSON: " + oneLine(errs);
            } else {
                parseRoot(root, description);
            }
        } catch (const Fail& f) {
            problem = f.message;
        } catch (const std::exception& e) {
            // JsonCpp throws when the nesting exceeds the stack limit.
            const std::string what = e.what();
            problem = what.find("stackLimit") != std::string::npos
                ? "nested deeper than " + std::to_string(kMaxVehicleJsonDepth) + " levels"
                : "not valid JSON: " + oneLine(what);
        }
    }
    if (problem.empty())
        return true;
    if (error)
        *error = problem;
    return false;
}

bool loadVehicleFile(const std::string& path, VehicleDescription* description, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in || !isFile(path)) {
        if (error)
            *error = path + ": cannot be read";
        return false;
    }
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, std::size_t(in.gcount()));
        if (text.size() > kMaxVehicleFileBytes)
            break;
    }
    std::string problem;
    if (!parseVehicle(text, description, &problem)) {
        if (error)
            *error = path + ": " + problem;
        return false;
    }
    description->file = path;
    return true;
}

std::string vehicleDataDir()
{
    if (const char* env = std::getenv("BW_VEHICLE_DIR"); env && *env)
        return env;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "vehicles";
    std::string path(exe, std::size_t(n));
    path = path.substr(0, path.rfind('/'));
    return path + "/vehicles";
}

std::string resolveVehicleFile(const std::string& nameOrPath, std::string* error)
{
    const std::string name = nameOrPath.empty() ? "default" : nameOrPath;
    const bool isPath
        = name.find('/') != std::string::npos || (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0);
    const std::string path = isPath ? name : vehicleDataDir() + "/" + name + ".json";
    if (isFile(path))
        return path;
    if (error) {
        if (isPath) {
            *error = "no vehicle file " + path;
        } else {
            std::string known;
            for (const std::string& v : shippedVehicles())
                known += (known.empty() ? "" : ", ") + v;
            *error = "no vehicle \"" + name + "\" in " + vehicleDataDir()
                + (known.empty() ? "" : " (there are: " + known + ")");
        }
    }
    return {};
}

std::vector<std::string> shippedVehicles()
{
    std::vector<std::string> names;
    const std::string dir = vehicleDataDir();
    if (!isDir(dir))
        return names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* entry = ::readdir(d)) {
            const std::string file = entry->d_name;
            if (file.size() > 5 && file.compare(file.size() - 5, 5, ".json") == 0)
                names.push_back(file.substr(0, file.size() - 5));
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vehicle
