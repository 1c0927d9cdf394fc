#include "AccountService.h"

#include "CloudServer.h"

#include <httplib.h>
#include <json/json.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace cloud {

namespace {

// scrypt with N = 2^15, r = 8, p = 1: 32 MiB and about 0.1 s per hash.
constexpr std::uint64_t kScryptN = std::uint64_t(1) << 15;
constexpr std::uint64_t kScryptR = 8;
constexpr std::uint64_t kScryptP = 1;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kMaxPassword = 128;
constexpr std::size_t kMaxAddress = 254;
constexpr int kMaxPageSize = 100;

std::string hex(const unsigned char* data, std::size_t size)
{
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool unhex(const std::string& text, std::vector<unsigned char>& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.c_str() + i, "%2x", &value) != 1 || !std::isxdigit(static_cast<unsigned char>(text[i]))
            || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        out.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

bool scrypt(const std::string& password, const unsigned char* salt, std::size_t saltSize, std::uint64_t n,
    std::uint64_t r, std::uint64_t p, unsigned char* key, std::size_t keySize)
{
    return EVP_PBE_scrypt(
               password.data(), password.size(), salt, saltSize, n, r, p, std::uint64_t(64) << 20, key, keySize)
        == 1;
}

// Six decimal digits from OpenSSL's random generator, without modulo bias.
std::string randomCode()
{
    for (;;) {
        unsigned char bytes[4];
        if (RAND_bytes(bytes, sizeof bytes) != 1)
            continue;
        const std::uint32_t value = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16)
            | (std::uint32_t(bytes[2]) << 8) | bytes[3];
        if (value >= 4294000000u) // 4294 × 10^6: the largest multiple of 10^6 below 2^32
            continue;
        char text[8];
        std::snprintf(text, sizeof text, "%06u", value % 1000000u);
        return text;
    }
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string utcDate(std::time_t t)
{
    char text[32];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

// The request's JSON object, or a 400 answer and false.
bool body(const httplib::Request& req, httplib::Response& res, Json::Value& out)
{
    std::string error;
    if (!parseJson(req.body, out, error) || !out.isObject()) {
        sendKeyed(res, 400, "BadRequest", "body must be a JSON object");
        return false;
    }
    return true;
}

// A text member of at most `max` bytes without control characters, or "".
std::string text(const Json::Value& object, const char* key, std::size_t max)
{
    const Json::Value& v = object[key];
    if (!v.isString())
        return {};
    std::string s = v.asString();
    if (s.size() > max || std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return {};
    return s;
}

bool validPhone(const std::string& phone)
{
    return phone.size() == 11 && std::all_of(phone.begin(), phone.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// One "@" with something on both sides, a dot in the domain, no blanks.
bool validEmail(const std::string& email)
{
    const auto at = email.find('@');
    return !email.empty() && email.size() <= kMaxAddress && at != std::string::npos && at > 0
        && email.find('@', at + 1) == std::string::npos && email.find('.', at + 2) != std::string::npos
        && email.back() != '.' && email.find(' ') == std::string::npos;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void tokenAnswer(httplib::Response& res, const std::string& token, int ttl, const std::string& name)
{
    Json::Value answer;
    answer["status"] = 200;
    answer["errorKey"] = "";
    answer["token"] = token;
    answer["expiresIn"] = ttl;
    answer["name"] = name;
    res.set_content(toJson(answer), "application/json");
}

} // namespace

std::string AccountService::hashPassword(const std::string& password)
{
    unsigned char salt[kSaltBytes];
    unsigned char key[kKeyBytes];
    if (RAND_bytes(salt, sizeof salt) != 1
        || !scrypt(password, salt, sizeof salt, kScryptN, kScryptR, kScryptP, key, sizeof key))
        return {};
    return "scrypt$" + std::to_string(kScryptN) + "$" + std::to_string(kScryptR) + "$" + std::to_string(kScryptP) + "$"
        + hex(salt, sizeof salt) + "$" + hex(key, sizeof key);
}

bool AccountService::verifyPassword(const std::string& password, const std::string& stored)
{
    unsigned long long n = 0, r = 0, p = 0;
    char saltText[65] = {}, keyText[129] = {};
    if (std::sscanf(stored.c_str(), "scrypt$%llu$%llu$%llu$%64[0-9a-f]$%128[0-9a-f]", &n, &r, &p, saltText, keyText)
        != 5)
        return false;
    std::vector<unsigned char> salt, expected;
    if (!unhex(saltText, salt) || !unhex(keyText, expected) || expected.empty() || n > (1u << 20) || r > 16 || p > 4)
        return false;
    std::vector<unsigned char> key(expected.size());
    return scrypt(password, salt.data(), salt.size(), n, r, p, key.data(), key.size())
        && CRYPTO_memcmp(key.data(), expected.data(), key.size()) == 0;
}

bool AccountService::loadDirectory(const Json::Value& directory, std::string& error)
{
    if (!directory.isObject() || !directory["serviceConfigs"].isArray() || !directory["technicians"].isArray()) {
        error = "technicians.json must hold an object with the arrays serviceConfigs and technicians";
        return false;
    }
    for (const Json::Value& c : directory["serviceConfigs"])
        if (!c.isObject() || !c["serviceAddress"].isString() || !c["port"].isInt()) {
            error = "every service configuration needs serviceAddress (text) and port (number)";
            return false;
        }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serviceConfigs = directory["serviceConfigs"];
    m_technicians = directory["technicians"];
    return true;
}

void AccountService::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_limits = AccountLimits();
    m_accounts.clear();
    m_codes.clear();
    m_tokens.clear();
    m_codeRequests.clear();
    m_accountFailures.clear();
    m_sourceFailures.clear();
    m_registrations.clear();
    m_outbox = Json::Value(Json::arrayValue);
}

void AccountService::install(httplib::Server& server)
{
    using Handler = void (AccountService::*)(const httplib::Request&, httplib::Response&);
    auto route = [this](Handler h) {
        return [this, h](const httplib::Request& req, httplib::Response& res) { (this->*h)(req, res); };
    };
    server.Post("/api/account/sms-code", route(&AccountService::handleSmsCode));
    server.Post("/api/account/phone-login", route(&AccountService::handlePhoneLogin));
    server.Post("/api/account/email-code", route(&AccountService::handleEmailCode));
    server.Post("/api/account/register", route(&AccountService::handleRegister));
    server.Post("/api/account/login", route(&AccountService::handleLogin));
    server.Post("/api/account/reset-password", route(&AccountService::handleResetPassword));
    server.Post("/api/vci/add", route(&AccountService::handleAddVci));
    server.Post("/api/vci/key-value", route(&AccountService::handleKeyValue));
    server.Get("/api/getAllServiceConfigs", route(&AccountService::handleServiceConfigs));
    server.Get("/api/remote-technicians", route(&AccountService::handleTechnicians));
    server.Get("/__control/outbox", route(&AccountService::handleOutbox));
    server.Post("/__control/account-limits", route(&AccountService::handleLimits));
}

bool AccountService::allow(
    std::map<std::string, std::vector<Clock::time_point>>& counters, const std::string& key, int limit)
{
    std::vector<Clock::time_point>& times = counters[key];
    const Clock::time_point since = Clock::now() - std::chrono::seconds(m_limits.windowSeconds);
    times.erase(
        std::remove_if(times.begin(), times.end(), [since](Clock::time_point t) { return t < since; }), times.end());
    return static_cast<int>(times.size()) < limit;
}

bool AccountService::locked(const std::string& account, const std::string& source)
{
    return !allow(m_accountFailures, account, m_limits.failuresPerAccount)
        || !allow(m_sourceFailures, source, m_limits.failuresPerSource);
}

void AccountService::countFailure(const std::string& account, const std::string& source)
{
    m_accountFailures[account].push_back(Clock::now());
    m_sourceFailures[source].push_back(Clock::now());
}

int AccountService::sendCode(const std::string& channel, const std::string& address, const std::string& purpose)
{
    if (!allow(m_codeRequests, address, m_limits.codeRequestsPerAddress))
        return 429;
    m_codeRequests[address].push_back(Clock::now());
    Code code;
    code.value = randomCode();
    code.expires = Clock::now() + std::chrono::seconds(m_limits.codeTtlSeconds);
    m_codes[purpose + ":" + address] = code;
    Json::Value message;
    message["channel"] = channel;
    message["to"] = address;
    message["purpose"] = purpose;
    message["code"] = code.value;
    m_outbox.append(message);
    return 200;
}

bool AccountService::takeCode(const std::string& purpose, const std::string& address, const std::string& entered)
{
    const auto it = m_codes.find(purpose + ":" + address);
    if (it == m_codes.end())
        return false;
    if (Clock::now() > it->second.expires) {
        m_codes.erase(it);
        return false;
    }
    if (!sameText(it->second.value, entered)) {
        if (++it->second.wrongTries >= m_limits.wrongCodeTries)
            m_codes.erase(it);
        return false;
    }
    m_codes.erase(it); // works once
    return true;
}

std::string AccountService::issueToken(const std::string& user)
{
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    const std::string token = hex(bytes, sizeof bytes);
    m_tokens[token] = Token{user, Clock::now() + std::chrono::seconds(m_limits.tokenTtlSeconds)};
    return token;
}

bool AccountService::tokenValid(const httplib::Request& req)
{
    const std::string header = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (header.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_tokens.find(header.substr(prefix.size()));
    if (it == m_tokens.end())
        return false;
    if (Clock::now() > it->second.expires) {
        m_tokens.erase(it);
        return false;
    }
    return true;
}

void AccountService::handleSmsCode(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string phone = text(in, "phone", 11);
    if (!validPhone(phone)) {
        sendKeyed(res, 400, "BadRequest", "phone must be 11 digits");
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sendCode("sms", phone, "phone-login") != 200) {
        sendKeyed(res, 429, "TooManyRequests", "too many codes for this number; try again later");
        return;
    }
    sendKeyed(res, 200, "", "");
}

void AccountService::handlePhoneLogin(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string phone = text(in, "phone", 11);
    const std::string code = text(in, "code", 16);
    if (!validPhone(phone) || code.empty()) {
        sendKeyed(res, 400, "BadRequest", "phone and code are required");
        return;
    }
    const std::string account = "phone:" + phone;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (locked(account, req.remote_addr)) {
        sendKeyed(res, 429, "TooManyAttempts", "too many failed sign-ins; try again later");
        return;
    }
    if (!takeCode("phone-login", phone, code)) {
        countFailure(account, req.remote_addr);
        sendKeyed(res, 401, "LoginFailed", "code wrong or expired");
        return;
    }
    m_accounts.emplace(account, Account{});
    tokenAnswer(res, issueToken(account), m_limits.tokenTtlSeconds, phone);
}

void AccountService::handleEmailCode(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string email = lower(text(in, "email", kMaxAddress));
    if (!validEmail(email) || !in["existing"].isBool()) {
        sendKeyed(res, 422, "BadRequest", "email (an address) and existing (true or false) are required");
        return;
    }
    const bool existing = in["existing"].asBool();
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool registered = m_accounts.count("email:" + email) != 0;
    if (!existing && registered) {
        sendKeyed(res, 400, "EmailRegistered", "this address already has an account");
        return;
    }
    if (existing && !registered) {
        sendKeyed(res, 404, "EmailNotRegistered", "no account has this address");
        return;
    }
    if (sendCode("email", email, existing ? "reset" : "register") != 200) {
        sendKeyed(res, 429, "TooManyRequests", "too many codes for this address; try again later");
        return;
    }
    sendKeyed(res, 200, "", "");
}

void AccountService::handleRegister(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string email = lower(text(in, "email", kMaxAddress));
    const std::string password = text(in, "password", kMaxPassword);
    const std::string code = text(in, "code", 16);
    if (!validEmail(email) || code.empty()) {
        sendKeyed(res, 422, "BadRequest", "email, password and code are required");
        return;
    }
    if (password.size() < 6) {
        sendKeyed(res, 422, "PasswordTooShort", "the password needs 6 characters or more");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_accounts.count("email:" + email)) {
            sendKeyed(res, 400, "EmailRegistered", "this address already has an account");
            return;
        }
        if (!takeCode("register", email, code)) {
            sendKeyed(res, 401, "CodeInvalid", "code wrong or expired");
            return;
        }
    }
    // Hashing takes a tenth of a second: not under the lock.
    const std::string hash = hashPassword(password);
    if (hash.empty()) {
        sendKeyed(res, 500, "Internal", "could not store the password");
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accounts.emplace("email:" + email, Account{hash}).second) {
        sendKeyed(res, 400, "EmailRegistered", "this address already has an account");
        return;
    }
    sendKeyed(res, 200, "", "");
}

void AccountService::handleLogin(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string email = lower(text(in, "email", kMaxAddress));
    const std::string password = text(in, "password", kMaxPassword);
    if (email.empty() || password.empty()) {
        sendKeyed(res, 422, "BadRequest", "email and password are required");
        return;
    }
    const std::string account = "email:" + email;
    std::string stored;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (locked(account, req.remote_addr)) {
            sendKeyed(res, 429, "TooManyAttempts", "too many failed sign-ins; try again later");
            return;
        }
        const auto it = m_accounts.find(account);
        if (it != m_accounts.end())
            stored = it->second.passwordHash;
    }
    // An unknown address costs the same check, so the time does not tell which addresses exist.
    static const std::string unknownAccount = hashPassword("no account has this hash");
    const bool ok = verifyPassword(password, stored.empty() ? unknownAccount : stored) && !stored.empty();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!ok) {
        countFailure(account, req.remote_addr);
        sendKeyed(res, 401, "LoginFailed", "address or password wrong");
        return;
    }
    tokenAnswer(res, issueToken(account), m_limits.tokenTtlSeconds, email);
}

void AccountService::handleResetPassword(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string email = lower(text(in, "email", kMaxAddress));
    const std::string password = text(in, "newPassword", kMaxPassword);
    const std::string code = text(in, "code", 16);
    if (!validEmail(email) || code.empty()) {
        sendKeyed(res, 422, "BadRequest", "email, newPassword and code are required");
        return;
    }
    if (password.size() < 6) {
        sendKeyed(res, 422, "PasswordTooShort", "the password needs 6 characters or more");
        return;
    }
    const std::string account = "email:" + email;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accounts.count(account)) {
            sendKeyed(res, 404, "EmailNotRegistered", "no account has this address");
            return;
        }
        if (!takeCode("reset", email, code)) {
            sendKeyed(res, 400, "CodeInvalid", "code wrong or expired");
            return;
        }
    }
    const std::string hash = hashPassword(password);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accounts[account].passwordHash = hash;
    // The old password's sessions end with it.
    for (auto it = m_tokens.begin(); it != m_tokens.end();)
        it = it->second.user == account ? m_tokens.erase(it) : std::next(it);
    m_accountFailures.erase(account);
    sendKeyed(res, 200, "", "");
}

void AccountService::handleAddVci(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string key = text(in, "key", 64);
    if (key.empty()) {
        sendKeyed(res, 400, "BadRequest", "key is required (1 to 64 bytes)");
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto [it, added] = m_registrations.emplace(key, Registration{});
    it->second.first = text(in, "first", 64);
    it->second.second = text(in, "second", 64);
    if (added)
        it->second.registeredAt = utcDate(std::time(nullptr));
    sendKeyed(res, 200, "", "");
}

void AccountService::handleKeyValue(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    const std::string key = text(in, "key", 64);
    const std::string name = text(in, "name", 32);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_registrations.find(key);
    if (key.empty() || name.empty() || it == m_registrations.end()) {
        sendKeyed(res, 404, "NotRegistered", "no adapter is registered under this key");
        return;
    }
    std::string value;
    if (name == "registeredAt") {
        value = it->second.registeredAt;
    } else if (name == "warrantyUntil") {
        value = std::to_string(std::stoi(it->second.registeredAt.substr(0, 4)) + 2) + it->second.registeredAt.substr(4);
    } else if (name == "serviceLevel") {
        value = "Standard";
    } else {
        sendKeyed(res, 404, "UnknownValue", "no value of this name");
        return;
    }
    Json::Value answer;
    answer["status"] = 200;
    answer["errorKey"] = "";
    answer["value"] = value;
    res.set_content(toJson(answer), "application/json");
}

void AccountService::handleServiceConfigs(const httplib::Request& req, httplib::Response& res)
{
    if (!tokenValid(req)) {
        sendKeyed(res, 401, "Unauthorized", "a valid bearer token is required");
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    res.set_content(toJson(m_serviceConfigs), "application/json");
}

void AccountService::handleTechnicians(const httplib::Request& req, httplib::Response& res)
{
    if (!tokenValid(req)) {
        sendKeyed(res, 401, "Unauthorized", "a valid bearer token is required");
        return;
    }
    const std::string address = req.get_param_value("serviceAddress");
    const std::string search = req.get_param_value("searchKey");
    const int page = std::max(0, std::atoi(req.get_param_value("page").c_str()));
    const std::string sizeText = req.get_param_value("size");
    const int size = sizeText.empty() ? 20 : std::clamp(std::atoi(sizeText.c_str()), 0, kMaxPageSize);
    std::lock_guard<std::mutex> lock(m_mutex);
    Json::Value list(Json::arrayValue);
    int index = 0;
    for (const Json::Value& t : m_technicians) {
        if (!address.empty() && t["serviceAddress"].asString() != address)
            continue;
        if (!search.empty() && t["name"].asString().find(search) == std::string::npos
            && t["phone"].asString().find(search) == std::string::npos)
            continue;
        if (index++ / std::max(size, 1) != page || size == 0)
            continue;
        Json::Value entry = t;
        entry.removeMember("serviceAddress");
        list.append(entry);
    }
    res.set_content(toJson(list), "application/json");
}

void AccountService::handleOutbox(const httplib::Request& req, httplib::Response& res)
{
    const std::string to = lower(req.get_param_value("to"));
    std::lock_guard<std::mutex> lock(m_mutex);
    Json::Value answer;
    answer["messages"] = Json::Value(Json::arrayValue);
    for (const Json::Value& m : m_outbox)
        if (to.empty() || m["to"].asString() == to)
            answer["messages"].append(m);
    res.set_content(toJson(answer), "application/json");
}

void AccountService::handleLimits(const httplib::Request& req, httplib::Response& res)
{
    Json::Value in;
    if (!body(req, res, in))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto set = [&in](const char* key, int& field) {
        if (in[key].isInt() && in[key].asInt() >= 0)
            field = in[key].asInt();
    };
    set("windowSeconds", m_limits.windowSeconds);
    set("codeRequestsPerAddress", m_limits.codeRequestsPerAddress);
    set("failuresPerAccount", m_limits.failuresPerAccount);
    set("failuresPerSource", m_limits.failuresPerSource);
    set("wrongCodeTries", m_limits.wrongCodeTries);
    set("codeTtlSeconds", m_limits.codeTtlSeconds);
    set("tokenTtlSeconds", m_limits.tokenTtlSeconds);
    res.set_content("{}", "application/json");
}

} // namespace cloud
