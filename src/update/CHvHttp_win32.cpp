// The request sequence of CHvHttp on WinHTTP (Windows builds only).
// "https://" URLs are sent with WINHTTP_FLAG_SECURE, so WinHTTP checks the
// certificate and the host name against the system's store; a certificate that
// does not verify fails the send (HTTP_ERROR_SEND_RECEIVE).
#include "update/CHvHttp.h"

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

namespace {

std::wstring wide(const std::string& text)
{
    return CHvHttp::CharToWchar(text, CP_ACP);
}

} // namespace

std::string CHvHttp::Send(bool secure, const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    // WinHTTP follows redirects itself (never from https to http).
    HvRelease();

    m_hSession = WinHttpOpen(
        L"WinHTTP Example/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!m_hSession)
        Fail(HTTP_ERROR_OPEN);

    const std::wstring wideHost = wide(host);
    if (wideHost.empty() || port == 0)
        Fail(HTTP_ERROR_CONNECT);
    m_hConnect = WinHttpConnect(m_hSession, wideHost.c_str(), port, 0);
    if (!m_hConnect)
        Fail(HTTP_ERROR_CONNECT);

    const wchar_t* verb = method == HTTP_GET ? L"GET" : L"POST";
    const std::wstring widePath = wide(path);
    m_hRequest = WinHttpOpenRequest(m_hConnect, verb, widePath.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    if (!m_hRequest)
        Fail(HTTP_ERROR_OPEN);

    DWORD timeout = kTimeoutMs;
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));

    const std::wstring wideHeader = wide(header);
    BOOL sent = FALSE;
    if (method == HTTP_GET) {
        sent = WinHttpSendRequest(m_hRequest, wideHeader.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wideHeader.c_str(),
            wideHeader.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    } else {
        if (!wideHeader.empty())
            WinHttpAddRequestHeaders(m_hRequest, wideHeader.c_str(), static_cast<DWORD>(-1L), WINHTTP_ADDREQ_FLAG_ADD);
        // The body goes up to its first NUL byte.
        const DWORD length = static_cast<DWORD>(std::char_traits<char>::length(body.c_str()));
        sent = WinHttpSendRequest(m_hRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
            length ? const_cast<char*>(body.c_str()) : WINHTTP_NO_REQUEST_DATA, length, length, 0);
    }
    if (!sent)
        Fail(GetLastError() == ERROR_WINHTTP_TIMEOUT ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);

    if (!WinHttpReceiveResponse(m_hRequest, nullptr)) {
        const DWORD error = GetLastError();
        HvReleaseHandle(m_hRequest);
        Fail(error == ERROR_WINHTTP_TIMEOUT ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);
    }

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
        &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
    m_dwRespCode = status;

    std::string answer;
    std::vector<char> buffer(4097, 0);
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(m_hRequest, buffer.data(), 4096, &read)) {
            const DWORD error = GetLastError();
            HvRelease();
            // A transfer that breaks off is a receive failure, not a short answer.
            Fail(error == ERROR_WINHTTP_TIMEOUT ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);
        }
        if (read == 0)
            break;
        answer.append(buffer.data(), read);
    }
    HvRelease();
    return answer;
}

void CHvHttp::HvReleaseHandle(Handle& handle)
{
    if (handle) {
        WinHttpCloseHandle(handle);
        handle = nullptr;
    }
}

std::wstring CHvHttp::CharToWchar(const std::string& text, unsigned int codePage)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}
