// The account service's account routes (docs/account-service.md, "Accounts"):
// SMS and e-mail codes, phone and e-mail sign-in, registration, password
// reset, the adapter's cloud registration and the technician directory behind
// the bearer token. It behaves like a real service: passwords are kept only
// as scrypt hashes, codes expire and work once, tokens expire, and codes and
// sign-in attempts are limited per address, per account and per source. What
// a real service would send by SMS or e-mail goes to an outbox that tests and
// the demo read through a control route.
#pragma once

#include "Digest.h"

#include <json/value.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace cloud {

struct AccountLimits {
    int windowSeconds = 600;        // the period the counters below cover
    int codeRequestsPerAddress = 5; // codes sent to one phone or e-mail address
    int failuresPerAccount = 5;     // failed sign-ins of one account before it is locked
    int failuresPerSource = 20;     // failed sign-ins from one client address
    int wrongCodeTries = 5;         // wrong entries after which a code is void
    int codeTtlSeconds = 300;
    int tokenTtlSeconds = 3600;
};

class AccountService {
public:
    using Clock = std::chrono::steady_clock;

    // Takes the technician directory (technicians.json: an object with the
    // arrays "serviceConfigs" and "technicians"); false with a reason when it
    // is malformed.
    bool loadDirectory(const Json::Value& directory, std::string& error);
    // Forgets accounts, codes, tokens, counters, registrations and the outbox;
    // the limits return to their defaults.
    void reset();
    void install(httplib::Server& server);

    // scrypt hash of a password in the stored form "scrypt$N$r$p$salt$key"
    // (hex), and its check. Public for the tests of the stored form.
    static std::string hashPassword(const std::string& password);
    static bool verifyPassword(const std::string& password, const std::string& stored);

private:
    struct Code {
        std::string value;
        Clock::time_point expires;
        int wrongTries = 0;
    };
    struct Account {
        std::string passwordHash; // empty for phone accounts
    };
    struct Token {
        std::string user;
        Clock::time_point expires;
    };
    struct Registration {
        std::string first, second;
        std::string registeredAt; // UTC date
    };

    // Counts an event under `key` within the window; true while under `limit`.
    bool allow(std::map<std::string, std::vector<Clock::time_point>>& counters, const std::string& key, int limit);
    bool locked(const std::string& account, const std::string& source);
    void countFailure(const std::string& account, const std::string& source);
    // Sends a new code for (purpose, address): 200, or 429 past the limit.
    int sendCode(const std::string& channel, const std::string& address, const std::string& purpose);
    // Whether `entered` is the live code for (purpose, address); a good code is used up.
    bool takeCode(const std::string& purpose, const std::string& address, const std::string& entered);
    std::string issueToken(const std::string& user);
    bool tokenValid(const httplib::Request& req);

    void handleSmsCode(const httplib::Request& req, httplib::Response& res);
    void handlePhoneLogin(const httplib::Request& req, httplib::Response& res);
    void handleEmailCode(const httplib::Request& req, httplib::Response& res);
    void handleRegister(const httplib::Request& req, httplib::Response& res);
    void handleLogin(const httplib::Request& req, httplib::Response& res);
    void handleResetPassword(const httplib::Request& req, httplib::Response& res);
    void handleAddVci(const httplib::Request& req, httplib::Response& res);
    void handleKeyValue(const httplib::Request& req, httplib::Response& res);
    void handleServiceConfigs(const httplib::Request& req, httplib::Response& res);
    void handleTechnicians(const httplib::Request& req, httplib::Response& res);
    void handleOutbox(const httplib::Request& req, httplib::Response& res);
    void handleLimits(const httplib::Request& req, httplib::Response& res);

    std::mutex m_mutex;
    AccountLimits m_limits;
    std::map<std::string, Account> m_accounts; // "email:<address>" / "phone:<number>"
    std::map<std::string, Code> m_codes;       // "<purpose>:<address>"
    std::map<std::string, Token> m_tokens;
    std::map<std::string, std::vector<Clock::time_point>> m_codeRequests, m_accountFailures, m_sourceFailures;
    std::map<std::string, Registration> m_registrations; // by adapter key
    Json::Value m_outbox{Json::arrayValue};
    Json::Value m_serviceConfigs{Json::arrayValue};
    Json::Value m_technicians{Json::arrayValue};
};

} // namespace cloud
