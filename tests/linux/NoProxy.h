// Keeps the traffic of a test or benchmark on 127.0.0.1: with the pre-configured access, libcurl
// would send it to whatever proxy the environment names.
#pragma once

#include <cstdlib>

namespace orvane::test {

// Clears every proxy variable that libcurl reads (the scheme's own, ALL_PROXY and NO_PROXY, in
// either case). Call it before the first URL is opened.
inline void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY",
                             "gopher_proxy", "GOPHER_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        ::unsetenv(name);
    }
}

}  // namespace orvane::test
