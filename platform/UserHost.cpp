#include "platform/UserHost.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

std::string loginName() {
    // The account's own name first: USER can be anything a shell set.
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : std::to_string(::getuid());
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}
