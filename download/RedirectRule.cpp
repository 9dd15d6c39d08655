#include "download/RedirectRule.h"

#include <algorithm>

#include "download/DownloadLimits.h"
#include "download/Failure.h"
#include "win32/PathRules.h"

namespace download {

std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location) {
    const size_t schemeEnd = location.find(L':');
    if (schemeEnd != std::wstring::npos && location.find_first_of(L"/?#") > schemeEnd)
        return location;
    const size_t authority = base.find(L"://");
    if (authority == std::wstring::npos)
        return location;
    if (location.starts_with(L"//"))
        return base.substr(0, authority + 1) + location;
    const size_t pathStart = std::min(base.find_first_of(L"/?#", authority + 3), base.size());
    if (!location.empty() && location.front() == L'/')
        return base.substr(0, pathStart) + location;
    const size_t pathEnd = std::min(base.find_first_of(L"?#", pathStart), base.size());
    if (location.empty() || location.front() == L'?' || location.front() == L'#')
        return base.substr(0, pathEnd) + location;
    const size_t lastSlash = base.rfind(L'/', pathEnd == 0 ? 0 : pathEnd - 1);
    if (lastSlash == std::wstring::npos || lastSlash < pathStart)
        return base.substr(0, pathStart) + L"/" + location;
    return base.substr(0, lastSlash + 1) + location;
}

RedirectChain::RedirectChain(std::wstring url) : m_url(std::move(url)), m_secure(path_rules::IsHttpsUrl(m_url)) {
    if (!path_rules::IsHttpUrl(m_url))
        FailFinally(L"Refused a URL that is neither http nor https: " + QuotedValue(m_url));
}

void RedirectChain::Follow(const std::wstring& location) {
    if (++m_redirects > kMaxRedirects)
        FailFinally(L"Too many redirects.");
    std::wstring next = ResolveRedirect(m_url, location);
    if (!path_rules::IsHttpUrl(next))
        FailFinally(L"Refused a redirect to a URL that is neither http nor https: " + QuotedValue(next));
    // Whoever can rewrite a cleartext answer could then hand over any installer.
    if (m_secure && !path_rules::IsHttpsUrl(next))
        FailFinally(L"Refused a redirect from https to http: " + QuotedValue(next));
    m_url = std::move(next);
    m_secure = path_rules::IsHttpsUrl(m_url);
}

}  // namespace download
