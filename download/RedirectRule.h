// The one redirect rule of every download, the files' and the images': which addresses may be fetched and
// followed, and how many redirects.
#pragma once

#include <string>

namespace download {

// The URL a Location value points to from `base`. Servers may answer with a path or a relative reference as well
// as with a full URL; a value with a scheme of its own is returned unchanged.
std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location);

// The one redirect rule of every download: the URL is http or https, at most kMaxRedirects redirects are
// followed, and a transfer that began over https never continues over http. Each violation is a final failure.
class RedirectChain {
public:
    // Raises when `url` is not an http or https URL.
    explicit RedirectChain(std::wstring url);
    const std::wstring& Url() const { return m_url; }
    // Moves to the target of a redirect response from the current URL.
    void Follow(const std::wstring& location);

private:
    std::wstring m_url;
    bool m_secure;
    int m_redirects = 0;
};

}  // namespace download
