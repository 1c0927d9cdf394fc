// Client of the product's cloud account service: sign-in, device registration,
// version information and file downloads. All calls block the calling thread
// until they have an answer; texts are narrow UTF-8 strings.
#pragma once

#include <memory>
#include <string>

#if defined(_WIN32)
#if defined(HTTPSSERVER_BUILD)
#define HTTPSSERVER_API __declspec(dllexport)
#else
#define HTTPSSERVER_API __declspec(dllimport)
#endif
#else
#define HTTPSSERVER_API __attribute__((visibility("default")))
#endif

// Latest published version of one firmware image or program.
struct ST_APP_INFO_HTTP {
    std::string typeName;            // the type name the query was made for
    std::string versionNo;           // latest version text ("V1.2.3")
    std::string updatedDate;         // publish date
    std::string summary;             // release notes
    std::string downloadUrl;         // where the file is fetched from
    std::string fileName;            // name passed on to DownloadFile
    unsigned long long fileSize = 0; // bytes
    std::string sha256;              // lower-case hex SHA-256 of the whole file
};

class HTTPSSERVER_API HttpsServer {
public:
    // Result codes of the code, registration and password operations.
    static constexpr int kResultOk = 200;
    static constexpr int kResultNoNetwork = 0;
    static constexpr int kResultAlreadyRegistered = 400; // GetEmailAuthCode
    static constexpr int kResultCodeRejected = 400;      // EmailUserResetPassword
    static constexpr int kResultNotRegistered = 404;     // GetEmailAuthCode
    static constexpr int kResultSignInRefused = 401;     // UserLoginEmailResult: wrong address, password or code
    static constexpr int kResultTooManyRequests = 429;   // too many codes or failed sign-ins for now

    // GetDownloadFileStatus values.
    static constexpr unsigned kDownloadRunning = 0;
    static constexpr unsigned kDownloadDone = 1;
    static constexpr unsigned kDownloadFailed = 2;

    HttpsServer();
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // Base address of the main API server, ending with "/".
    std::string GetGloableUrl();
    // True when the internet is reachable.
    static bool InternetOk();

    // The code, registration and reset calls answer 200, the failures named
    // below, 0 when the service cannot be reached, or the service's HTTP
    // status for anything else (422 malformed, 429 too many requests).
    // Calls that carry a password or a code are sent once, never repeated:
    // each attempt counts once towards the service's lock-out.

    // Phone sign-in: 200 when the SMS was sent.
    int GetSMSAuthCode(std::string& phone);
    // True and the bearer token when number and code are accepted.
    bool UserLogin(std::string& phone, std::string& code, std::string& token);

    // E-mail account. forExistingAccount false asks for a code for a new
    // account, true for an existing one (password reset, change).
    // 200 sent, 400 address already registered, 404 address not registered.
    int GetEmailAuthCode(const std::string& email, bool forExistingAccount);
    // 200 registered, 0 no network.
    int EmailUserRegister(const std::string& email, const std::string& password, const std::string& code);
    bool UserLoginEmail(const std::string& email, const std::string& password, std::string& token);
    // The same sign-in with the reason of a failure: 200 and the token, 401
    // refused, 429 locked for a while after too many failures, 0 no usable
    // answer, else the service's HTTP status.
    int UserLoginEmailResult(const std::string& email, const std::string& password, std::string& token);
    // 200 changed, 0 no network, 400 code wrong or expired.
    int EmailUserResetPassword(const std::string& email, const std::string& newPassword, const std::string& code);

    // Device records.
    bool SetVCIStatus_SN(const std::string& sn, int status);
    // Registers the adapter under its key, the "key" of its status record,
    // which stays the same for the adapter's life (first and second: what
    // the caller knows of it, e.g. serial and model).
    void AddVci(const std::string& key, const std::string& first, const std::string& second);
    // One value the service keeps for a registered adapter ("registeredAt",
    // "warrantyUntil", "serviceLevel"). 0 with the answer in value; 1 when
    // the service did not answer, else its HTTP status; value is left alone
    // on failure.
    unsigned keyGetValue(
        const std::string& key, const std::string& name, const std::string& language, std::string& value);

    // Latest version of an image type; true and the filled record on success.
    bool GetHttpJsonInfo(const std::string& typeName, const std::string& currentVersion, ST_APP_INFO_HTTP& info);

    // Starts a download; true when it was started. Progress through
    // GetDownloadFileStatus: 0 running, 1 done, anything else failed.
    bool DownloadFile(const char* url, const char* name, const char* localPath);
    bool DownloadFile(const std::string& url, const std::string& localPath);
    unsigned GetDownloadFileStatus();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
