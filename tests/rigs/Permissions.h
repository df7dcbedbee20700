#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

// Runs f with file permissions applying to it. Root ignores them, so as root the file system
// checks run as "nobody" for this thread alone, which drops that privilege until restored.
// Returns false, without running f, when that cannot be done.
template <class F> bool WithPermissionChecks(F f) {
    if (geteuid() != 0) {
        f();
        return true;
    }
    // "nobody" in group "nogroup", so that neither root's owner nor its group bits apply.
    constexpr uid_t Nobody = 65534;
    constexpr gid_t NoGroup = 65534;
    setfsgid(NoGroup);
    setfsuid(Nobody);
    if (setfsuid(static_cast<uid_t>(-1)) != static_cast<int>(Nobody) ||
        setfsgid(static_cast<gid_t>(-1)) != static_cast<int>(NoGroup)) {
        setfsuid(0);
        setfsgid(0);
        return false;
    }
    f();
    setfsuid(0);
    setfsgid(0);
    return true;
}
