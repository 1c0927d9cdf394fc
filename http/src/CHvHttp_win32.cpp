// One exchange of CHvHttp on WinHTTP (Windows builds only).
// "https://" URLs are sent with WINHTTP_FLAG_SECURE, so WinHTTP checks the
// certificate and the host name against the system's store; a certificate that
// does not verify fails the send (HTTP_ERROR_SEND_RECEIVE).
#include "http/CHvHttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring wide(const std::string& text)
{
    return CHvHttp::CharToWchar(text, CP_ACP);
}

std::string narrow(const std::wstring& text)
{
    const int length
        = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

// A phase that ran out of time. Wine reports the socket's own code
// (WSAETIMEDOUT) where Windows reports ERROR_WINHTTP_TIMEOUT.
bool timedOut(DWORD error)
{
    return error == ERROR_WINHTTP_TIMEOUT || error == 10060;
}

} // namespace

CHvHttp::Answer CHvHttp::Exchange(const Hop& hop) const
{
    HvRelease();

    m_hSession = WinHttpOpen(
        L"WinHTTP Example/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!m_hSession)
        Fail(HTTP_ERROR_OPEN);

    const std::wstring wideHost = wide(hop.host);
    if (wideHost.empty() || hop.port == 0)
        Fail(HTTP_ERROR_CONNECT);
    m_hConnect = WinHttpConnect(m_hSession, wideHost.c_str(), hop.port, 0);
    if (!m_hConnect)
        Fail(HTTP_ERROR_CONNECT);

    const std::wstring verb = wide(hop.verb);
    const std::wstring widePath = wide(hop.path);
    m_hRequest = WinHttpOpenRequest(m_hConnect, verb.c_str(), widePath.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, hop.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!m_hRequest)
        Fail(HTTP_ERROR_OPEN);

    // Redirects are followed by Follow(), which keeps credentials to the origin.
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof(redirects));
    // Each phase within its time-out and what is left of the call's deadline.
    // The whole answer head counts as one phase: a server that says nothing,
    // or trickles its headers, ends the call after the time-out as a silent
    // one does with the POSIX client. The body's reads wait up to the body's
    // idle limit instead (below).
    const DWORD remaining = static_cast<DWORD>(RemainingMs());
    if (remaining == 0)
        Fail(HTTP_ERROR_TIMEOUT);
    const DWORD bodyIdle = static_cast<DWORD>(std::max(1, m_bodyIdleMs));
    DWORD timeout = std::min<DWORD>(std::min<DWORD>(kTimeoutMs, bodyIdle), remaining);
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof(timeout));
    // Wine applies the receive time-out to the socket when the request goes
    // out and not again on later reads: the body's limit is set here already,
    // and the head is held to its own by the response time-out above.
    DWORD bodyTimeout = std::min<DWORD>(bodyIdle, remaining);
    WinHttpSetOption(m_hRequest, WINHTTP_OPTION_RECEIVE_TIMEOUT, &bodyTimeout, sizeof(bodyTimeout));

    const std::wstring wideHeader = wide(hop.header);
    BOOL sent = FALSE;
    if (hop.verb == "GET") {
        sent = WinHttpSendRequest(m_hRequest, wideHeader.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wideHeader.c_str(),
            wideHeader.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    } else {
        if (!wideHeader.empty())
            WinHttpAddRequestHeaders(m_hRequest, wideHeader.c_str(), static_cast<DWORD>(-1L), WINHTTP_ADDREQ_FLAG_ADD);
        const DWORD length = static_cast<DWORD>(hop.body.size());
        sent = WinHttpSendRequest(m_hRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
            length ? const_cast<char*>(hop.body.c_str()) : WINHTTP_NO_REQUEST_DATA, length, length, 0);
    }
    if (!sent)
        Fail(timedOut(GetLastError()) ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);

    if (!WinHttpReceiveResponse(m_hRequest, nullptr)) {
        const DWORD error = GetLastError();
        HvReleaseHandle(m_hRequest);
        Fail(timedOut(error) ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);
    }

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
        &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
    m_dwRespCode = status;

    Answer answer;
    wchar_t location[2048] = {};
    DWORD locationSize = sizeof(location);
    if (WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &locationSize,
            WINHTTP_NO_HEADER_INDEX))
        answer.location = narrow(std::wstring(location, locationSize / sizeof(wchar_t)));

    // The announced length, when there is one: a connection that closes
    // before it is a broken transfer, not a short answer.
    DWORD announced = 0;
    DWORD announcedSize = sizeof(announced);
    const bool hasLength = WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
        WINHTTP_HEADER_NAME_BY_INDEX, &announced, &announcedSize, WINHTTP_NO_HEADER_INDEX);

    // Large reads: WinHTTP hands over what it has buffered, up to this much.
    constexpr DWORD kReadSize = 64 * 1024;
    std::vector<char> buffer(kReadSize, 0);
    std::size_t held = 0;
    if (m_sink)
        m_sink->restart();
    for (;;) {
        const DWORD left = static_cast<DWORD>(RemainingMs());
        if (left == 0) {
            HvRelease();
            Fail(HTTP_ERROR_TIMEOUT);
        }
        DWORD readTimeout = std::min<DWORD>(bodyIdle, left);
        WinHttpSetOption(m_hRequest, WINHTTP_OPTION_RECEIVE_TIMEOUT, &readTimeout, sizeof(readTimeout));
        DWORD read = 0;
        if (!WinHttpReadData(m_hRequest, buffer.data(), kReadSize, &read)) {
            const DWORD error = GetLastError();
            HvRelease();
            // A transfer that breaks off is a receive failure, not a short answer.
            Fail(timedOut(error) ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);
        }
        if (read == 0) {
            if (hasLength && held < announced) {
                HvRelease();
                Fail(HTTP_ERROR_SEND_RECEIVE);
            }
            break;
        }
        if (held + read > m_maxAnswerSize) {
            HvRelease();
            Fail(HTTP_ERROR_ANSWER_TOO_LARGE);
        }
        held += read;
        if (m_sink) {
            if (!m_sink->write(buffer.data(), read)) {
                HvRelease();
                Fail(HTTP_ERROR_SEND_RECEIVE);
            }
        } else {
            // Doubling as strings do, but never past the cap.
            if (answer.body.size() + read > answer.body.capacity())
                answer.body.reserve(std::min(
                    m_maxAnswerSize, std::max<std::size_t>(answer.body.size() + read, answer.body.capacity() * 2)));
            answer.body.append(buffer.data(), read);
        }
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
