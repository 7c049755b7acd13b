/* The limit an FTP server's download can reach on this machine: one process
 * reads a file block by block and sends each block over a loopback TCP
 * connection; a child process receives and discards it.
 *
 *     raw_loop FILE BLOCK_BYTES [read|sendfile] [TIMEOUT_SECONDS]
 *
 * Prints one line: bytes seconds sender_cpu_seconds receiver_cpu_seconds
 * ("read" is a plain read() then send() loop; "sendfile" hands the file to the
 * kernel BLOCK_BYTES at a time). Exits non-zero on any error or on timeout.
 * Compiled by bench/compare_servers.py with: cc -O2 -o raw_loop raw_loop.c
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static double cpu(const struct rusage *r)
{
    return r->ru_utime.tv_sec + r->ru_utime.tv_usec / 1e6 + r->ru_stime.tv_sec + r->ru_stime.tv_usec / 1e6;
}

static int receive(unsigned short port, unsigned timeout)
{
    alarm(timeout);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || connect(s, (struct sockaddr *)&a, sizeof a) != 0)
        return 2;
    static char buf[1 << 17];
    for (;;) {
        ssize_t n = recv(s, buf, sizeof buf, 0);
        if (n == 0)
            return 0;
        if (n < 0 && errno != EINTR)
            return 3;
    }
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: raw_loop FILE BLOCK_BYTES [read|sendfile] [TIMEOUT_SECONDS]\n");
        return 64;
    }
    size_t block = strtoul(argv[2], NULL, 10);
    int use_sendfile = argc > 3 && strcmp(argv[3], "sendfile") == 0;
    unsigned timeout = argc > 4 ? (unsigned)atoi(argv[4]) : 300;
    if (block < 1 || block > (64u << 20)) {
        fprintf(stderr, "raw_loop: block size out of range\n");
        return 64;
    }
    alarm(timeout); /* the default action of SIGALRM ends the process */

    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        perror("raw_loop: open");
        return 1;
    }
    int ls = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t alen = sizeof a;
    if (ls < 0 || bind(ls, (struct sockaddr *)&a, sizeof a) != 0 || listen(ls, 1) != 0
        || getsockname(ls, (struct sockaddr *)&a, &alen) != 0) {
        perror("raw_loop: listen");
        return 1;
    }
    double start = now();
    pid_t child = fork();
    if (child < 0) {
        perror("raw_loop: fork");
        return 1;
    }
    if (child == 0)
        _exit(receive(ntohs(a.sin_port), timeout));
    int s = accept(ls, NULL, NULL);
    if (s < 0) {
        perror("raw_loop: accept");
        kill(child, SIGKILL);
        return 1;
    }
    char *buf = malloc(block);
    long long total = 0;
    int failed = 0;
    struct rusage before, after, kids;
    getrusage(RUSAGE_SELF, &before);
    for (;;) {
        if (use_sendfile) {
            ssize_t n = sendfile(s, fd, NULL, block);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                failed = 1;
                break;
            }
            total += n;
            continue;
        }
        ssize_t n = read(fd, buf, block);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = 1;
            break;
        }
        for (ssize_t off = 0; off < n;) {
            ssize_t w = send(s, buf + off, n - off, MSG_NOSIGNAL);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                failed = 1;
                break;
            }
            off += w;
        }
        if (failed)
            break;
        total += n;
    }
    getrusage(RUSAGE_SELF, &after);
    close(s);
    int status = 0;
    waitpid(child, &status, 0);
    double elapsed = now() - start;
    getrusage(RUSAGE_CHILDREN, &kids);
    if (failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "raw_loop: transfer failed (child status %d)\n", status);
        return 1;
    }
    printf("%lld %.6f %.6f %.6f\n", total, elapsed, cpu(&after) - cpu(&before), cpu(&kids));
    free(buf);
    return 0;
}
