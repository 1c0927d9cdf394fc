// CHvHttp's WinHTTP implementation against the cloud emulator on loopback,
// with the behaviour the cpp-httplib one has (tests/update): headers and
// bodies sent as given, HTTP error statuses as answers, the one repeat after
// a 401, redirects, and transport failures as the same error codes within
// the same time bounds; HTTPS checked against the system's certificate store.
#include "Win32Checks.h"

#include "http/CHvHttp.h"

#include <json/json.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

struct Outcome {
    int error = 0; // HttpInterfaceError thrown, 0 when none
    std::string body;
    std::uint32_t status = 0;
    long long elapsedMs = 0;
};

std::string base()
{
    return "http://127.0.0.1:" + w32::required("BW_TEST_CLOUD_PORT") + "/";
}

Outcome send(
    const std::string& url, HttpRequest method = HTTP_GET, const std::string& header = "", const std::string& body = "")
{
    CHvHttp http;
    Outcome out;
    const auto start = std::chrono::steady_clock::now();
    try {
        out.body = http.SendHttpOrHttpsRequest(url, method, header, body);
    } catch (HttpInterfaceError e) {
        out.error = e;
    }
    out.elapsedMs = w32::msSince(start);
    out.status = http.GetRespCode();
    return out;
}

Json::Value json(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    reader->parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

bool control(const std::string& path, const std::string& body = "{}")
{
    return send(base() + path, HTTP_POST, "Content-Type: application/json", body).status == 200;
}

int requestCount(const std::string& path)
{
    return json(send(base() + "__control/requests?path=" + path).body)["count"].asInt();
}

// A loopback port nobody listens on.
unsigned short closedPort()
{
    platform::startSockets();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::closesocket(s);
    return ntohs(addr.sin_port);
}

TEST_CASE(requests_and_answers)
{
    CHECK(control("__control/reset"));
    Outcome out = send(base() + "api/echo?x=1", HTTP_GET, "X-Token: abc\r\nAccept-Language: es");
    CHECK_EQ(out.error, 0);
    CHECK_EQ(out.status, 200u);
    Json::Value echo = json(out.body);
    CHECK_EQ(echo["method"].asString(), std::string("GET"));
    CHECK_EQ(echo["headers"]["X-Token"].asString(), std::string("abc"));
    CHECK_EQ(echo["headers"]["User-Agent"].asString(), std::string("WinHTTP Example/1.0"));

    CHvHttp fields;
    fields.InsertPostData("phone", "600123123");
    out = send(base() + "api/echo", HTTP_POST, fields.GetPostHeader(), fields.GetPostData() + std::string("\0x", 2));
    echo = json(out.body);
    CHECK_EQ(echo["method"].asString(), std::string("POST"));
    CHECK_EQ(echo["body"].asString(), std::string("{\"phone\":\"600123123\"}"));

    // An error status is an answer, not a failure.
    CHECK(control("__control", R"({"path":"/api/echo","status":500,"contentType":"text/html","body":"<b>down</b>"})"));
    out = send(base() + "api/echo");
    CHECK_EQ(out.error, 0);
    CHECK_EQ(out.status, 500u);
    CHECK_EQ(out.body, std::string("<b>down</b>"));

    CHECK(control("__control", R"({"path":"/old","redirect":")" + base() + R"(api/echo?moved=1"})"));
    out = send(base() + "old");
    CHECK_EQ(out.status, 200u);
    CHECK_EQ(json(out.body)["path"].asString().find("/api/echo"), std::size_t(0));
}

TEST_CASE(unauthorized_is_sent_exactly_twice)
{
    CHECK(control("__control/reset"));
    CHECK(control("__control", R"({"path":"/api/echo","status":401,"body":"{}"})"));
    Outcome out = send(base() + "api/echo");
    CHECK_EQ(out.status, 200u);
    CHECK_EQ(requestCount("/api/echo"), 2);
    CHECK(out.elapsedMs >= CHvHttp::kRetryDelayMs);

    CHECK(control("__control/reset"));
    CHECK(control("__control", R"({"path":"/api/echo","status":401,"count":-1,"body":"{}"})"));
    out = send(base() + "api/echo");
    CHECK_EQ(out.error, 0);
    CHECK_EQ(out.status, 401u);
    CHECK_EQ(requestCount("/api/echo"), 2);
}

TEST_CASE(transport_failures_and_their_bounds)
{
    CHECK(control("__control/reset"));
    Outcome out = send("http://127.0.0.1:" + std::to_string(closedPort()) + "/x");
    CHECK_EQ(out.error, int(HTTP_ERROR_SEND_RECEIVE));
    CHECK(out.elapsedMs < CHvHttp::kTimeoutMs);

    CHECK(control("__control", R"({"path":"/api/echo","delayMs":20000})"));
    out = send(base() + "api/echo");
    CHECK_EQ(out.error, int(HTTP_ERROR_TIMEOUT));
    CHECK(out.elapsedMs >= CHvHttp::kTimeoutMs - 100 && out.elapsedMs < CHvHttp::kTimeoutMs + 1500);
    CHECK(control("__control/reset")); // releases the waiting handler

    CHECK(control("__control", R"({"path":"/files/gen/","truncate":true})"));
    CHECK_EQ(send(base() + "files/gen/200000.bin").error, int(HTTP_ERROR_SEND_RECEIVE));

    out = send(base() + "files/gen/" + std::to_string(CHvHttp::kMaxAnswerSize + 1) + ".bin");
    CHECK_EQ(out.error, int(HTTP_ERROR_ANSWER_TOO_LARGE));
    out = send(base() + "files/gen/3145745.bin");
    CHECK_EQ(out.error, 0);
    CHECK_EQ(out.body.size(), std::size_t(3145745));
    CHECK(out.body.size() == 3145745 && static_cast<unsigned char>(out.body[3145744]) == 3145744 % 251);

    CHECK_EQ(send("").error, int(HTTP_ERROR_URL_EMPTY));
    CHECK_EQ(send("http://127.0.0.1:99999/x").error, int(HTTP_ERROR_CONNECT));
}

// Past the answer's head a pause longer than the phase time-out is a slow
// network; only a body silent for the idle limit is a dead one.
TEST_CASE(a_slow_body_completes_and_a_stalled_one_times_out)
{
    CHECK(control("__control/reset"));
    CHECK(control("__control", R"({"path":"/files/gen/","pauseMs":3000})"));
    Outcome out = send(base() + "files/gen/200000.bin");
    CHECK_EQ(out.error, 0);
    CHECK_EQ(out.body.size(), std::size_t(200000));
    CHECK(out.body.size() == 200000 && static_cast<unsigned char>(out.body[199999]) == 199999 % 251);
    CHECK(out.elapsedMs >= 3000 - 100);

    CHECK(control("__control", R"({"path":"/files/gen/","pauseMs":6000})"));
    CHvHttp http;
    http.SetBodyIdleLimit(1000);
    int error = 0;
    const auto start = std::chrono::steady_clock::now();
    try {
        http.SendHttpOrHttpsRequest(base() + "files/gen/200000.bin", HTTP_GET, "", "");
    } catch (HttpInterfaceError e) {
        error = e;
    }
    const long long elapsed = w32::msSince(start);
    CHECK_EQ(error, int(HTTP_ERROR_TIMEOUT));
    CHECK(elapsed >= 1000 - 100 && elapsed < 6000);
    CHECK(control("__control/reset")); // releases the paused answer
}

// The run's test CA (PEM) as DER.
std::vector<BYTE> caDer(const std::string& pemPath)
{
    std::ifstream in(pemPath, std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(size);
    ::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
    return der;
}

// Adds the CA to the machine's Root store, or removes it. Done in a child
// process: wine's chain engine reads the store once per process.
int changeTrust(const std::string& pemPath, bool trust)
{
    const std::vector<BYTE> der = caDer(pemPath);
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (der.empty() || !store)
        return 2;
    bool ok = false;
    if (trust) {
        ok = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
            != FALSE;
    } else if (PCCERT_CONTEXT cert
        = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()))) {
        PCCERT_CONTEXT found
            = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
        ok = found && ::CertDeleteCertificateFromStore(found); // frees `found`
        // Wine's registry store keeps the certificate's key after that; the
        // key is named by the certificate's SHA-1 thumbprint.
        BYTE hash[20] = {};
        DWORD size = sizeof hash;
        if (ok && ::CertGetCertificateContextProperty(cert, CERT_HASH_PROP_ID, hash, &size)) {
            std::string key = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
            for (DWORD i = 0; i < size; ++i) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", hash[i]);
                key += hex;
            }
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        }
        ::CertFreeCertificateContext(cert);
    }
    ::CertCloseStore(store, 0);
    return ok ? 0 : 1;
}

// The HttpInterfaceError of one GET in a process of its own (0: answered).
long errorInChild(const std::string& url)
{
    w32::Child child(w32::binDir() + "win32_CHvHttpTest.exe", {"--get", url});
    return child.exitCode(30000);
}

long trustInChild(bool trust)
{
    w32::Child child(w32::binDir() + "win32_CHvHttpTest.exe",
        {trust ? "--trust" : "--untrust", w32::required("BRINDLEWICK_CA_FILE")});
    return child.exitCode(30000);
}

// The cloud emulator's HTTPS port has a certificate of the run's CA for the
// name "localhost" (wine matches names only, not IP addresses). Refused
// until that CA is in the machine's Root store, answered once it is, refused
// again once it is gone.
TEST_CASE(https_is_checked_against_the_system_store)
{
    const std::string url = "https://localhost:" + w32::required("BW_TEST_CLOUD_HTTPS_PORT") + "/files/gen/1000.bin";
    w32::required("BRINDLEWICK_CA_FILE");
    CHECK_EQ(errorInChild(url), long(HTTP_ERROR_SEND_RECEIVE));
    CHECK_EQ(trustInChild(true), 0L);
    CHECK_EQ(errorInChild(url), 0L);
    CHECK_EQ(trustInChild(false), 0L);
    CHECK_EQ(errorInChild(url), long(HTTP_ERROR_SEND_RECEIVE));
}

} // namespace

// Child modes of the HTTPS check: "--get URL" (exit code: the request's
// error), "--trust PEM" and "--untrust PEM".
int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--get")
        return send(argv[2]).error;
    if (argc == 3 && (std::string(argv[1]) == "--trust" || std::string(argv[1]) == "--untrust"))
        return changeTrust(argv[2], std::string(argv[1]) == "--trust");
    return th::runAll();
}
