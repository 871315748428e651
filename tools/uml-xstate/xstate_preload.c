/* Preloaded into user-mode Linux (`linux`) so that its guest boots on hosts
 * whose XSAVE area is larger than the guest kernel expects (AMX tile state
 * makes it about 11 KB).
 *
 * The guest kernel moves a tracee's floating-point state with
 * PTRACE_GETREGSET / PTRACE_SETREGSET and NT_X86_XSTATE, passing a buffer of
 * its own size. The host kernel refuses a SETREGSET whose buffer is not its
 * full XSAVE size (EFAULT), and the guest panics at boot with "ptrace set fp
 * regs failed". Here both requests go through a buffer of the host's size:
 * GET reads the full state and hands the caller its part; SET reads the full
 * state, lays the caller's part over it (the components the guest does not
 * know stay as they were) and writes the whole. Every other request goes to
 * the real ptrace unchanged. On a host whose XSAVE size equals the guest's,
 * the result is what a direct call gives. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/types.h>
#include <sys/uio.h>

#ifndef NT_X86_XSTATE
#define NT_X86_XSTATE 0x202
#endif

/* Larger than any XSAVE area a current CPU defines. */
#define FULL_STATE_BYTES (64 * 1024)

typedef long (*ptrace_fn)(int, pid_t, void*, void*);

static ptrace_fn real_ptrace(void) {
    static ptrace_fn fn;
    if (!fn) fn = (ptrace_fn)dlsym(RTLD_NEXT, "ptrace");
    return fn;
}

static long read_full_state(pid_t pid, unsigned char* full, size_t* length) {
    struct iovec iov = {full, FULL_STATE_BYTES};
    long r = real_ptrace()(PTRACE_GETREGSET, pid, (void*)(long)NT_X86_XSTATE, &iov);
    if (r == 0) *length = iov.iov_len;
    return r;
}

static long xstate_request(int request, pid_t pid, struct iovec* caller) {
    static __thread unsigned char full[FULL_STATE_BYTES];
    size_t length = 0;
    long r = read_full_state(pid, full, &length);
    if (r != 0) return r;
    size_t part = caller->iov_len < length ? caller->iov_len : length;
    if (request == PTRACE_GETREGSET) {
        memcpy(caller->iov_base, full, part);
        caller->iov_len = part;
        return 0;
    }
    memcpy(full, caller->iov_base, part);
    struct iovec whole = {full, length};
    return real_ptrace()(PTRACE_SETREGSET, pid, (void*)(long)NT_X86_XSTATE, &whole);
}

long ptrace(enum __ptrace_request request, ...) {
    va_list ap;
    va_start(ap, request);
    pid_t pid = va_arg(ap, pid_t);
    void* addr = va_arg(ap, void*);
    void* data = va_arg(ap, void*);
    va_end(ap);
    if ((request == PTRACE_GETREGSET || request == PTRACE_SETREGSET) &&
        (long)addr == NT_X86_XSTATE && data != NULL)
        return xstate_request(request, pid, (struct iovec*)data);
    return real_ptrace()(request, pid, addr, data);
}
