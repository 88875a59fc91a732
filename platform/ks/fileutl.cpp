// File-name utilities of the kernel services.
#include "ks.h"

#include "host.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

extern "C" int fileutl_abspn(const char *path, char *buffer, size_t size)
{
    if (buffer == nullptr || size == 0)
        return EINVAL;
    buffer[0] = '\0';
    if (path == nullptr || path[0] == '\0')
        return EINVAL;

    std::string whole;
    if (path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) == nullptr)
            return errno;
        whole = cwd;
        whole += '/';
    }
    whole += path;

    // Resolve "." and ".." and fold repeated slashes.
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= whole.size()) {
        size_t end = whole.find('/', at);
        if (end == std::string::npos)
            end = whole.size();
        std::string part = whole.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string tidy;
    for (const std::string &part : parts)
        tidy += "/" + part;
    if (tidy.empty())
        tidy = "/";

    if (tidy.size() >= size)
        return ENAMETOOLONG;
    memcpy(buffer, tidy.c_str(), tidy.size() + 1);
    return 0;
}

// The object pathname: a path inside a tagged view's storage names the same
// object as the path under the view root; the host model knows which.
extern "C" int fileutl_absobjpn(const char *absolute, char *buffer, size_t size)
{
    return host_object_pathname(absolute, buffer, size);
}
