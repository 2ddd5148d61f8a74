// File permissions met as an ordinary user meets them, also where the tests run as root, whose
// permission bits never stop a write.
#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

namespace stillo_test {

// While it lives, the calling thread opens and writes files as the user "nobody" (65534) when
// the process runs as root, so a folder without write permission refuses it; otherwise nothing
// changes. Only the calling thread is affected: the file-system user is a thread's own.
class FileAccessAsUser {
public:
    FileAccessAsUser() {
        if (::geteuid() == 0) {
            m_previous = ::setfsuid(kNobody);
            m_changed = true;
        }
    }
    ~FileAccessAsUser() {
        if (m_changed) {
            ::setfsuid(static_cast<uid_t>(m_previous));
        }
    }
    FileAccessAsUser(const FileAccessAsUser&) = delete;
    FileAccessAsUser& operator=(const FileAccessAsUser&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    int m_previous = 0;
    bool m_changed = false;
};

} // namespace stillo_test
