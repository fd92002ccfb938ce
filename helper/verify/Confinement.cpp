#include "helper/verify/Confinement.h"

#include <grp.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

namespace mavu::verify {

namespace {

#if defined(__x86_64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned kArchitecture = 0;
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// What reading a mapped file, verifying it and printing a line need, and what the C and
// C++ runtimes do on the way out.
const long kAllowed[] = {
    SYS_read,          SYS_pread64,      SYS_write,          SYS_close,  SYS_fstat,
    SYS_newfstatat,    SYS_lseek,        SYS_mmap,           SYS_munmap, SYS_mremap,
    SYS_mprotect,      SYS_brk,          SYS_madvise,        SYS_futex,  SYS_getrandom,
    SYS_clock_gettime, SYS_rt_sigreturn, SYS_rt_sigprocmask, SYS_gettid, SYS_getpid,
    SYS_exit,          SYS_exit_group,
};

}  // namespace

bool dropPrivileges(uid_t uid, gid_t gid) {
    if (::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0) {
            return false;
        }
        uid_t real, effective, saved;
        if (::getresuid(&real, &effective, &saved) != 0 || real != uid || effective != uid ||
            saved != uid || (uid != 0 && ::setuid(0) == 0)) {
            return false;
        }
    }
    // Leaving root cleared the capabilities already; a verifier started without root
    // may still hold some.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, none) != 0 ||
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    // A change of user clears the parent-death signal the daemon set.
    return ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
}

bool restrictSystemCalls() {
    if (kArchitecture == 0 || kSanitized) {
        return true;
    }
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (long call : kAllowed) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)));
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

}  // namespace mavu::verify
