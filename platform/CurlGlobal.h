#pragma once

#include <curl/curl.h>

#include <mutex>

namespace vq::platform {

// libcurl's process-wide set-up, done once before the first handle, whoever makes it (the speed
// test's client or the service client).
inline void EnsureCurlGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace vq::platform
