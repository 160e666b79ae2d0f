/* cputime.c: wall and processor time of one command, to the microsecond.
 *
 * gprnpv-cputime CMD [ARG...] runs CMD, waits for it and every process it
 * left behind that it waited for (its rusage includes waited-for children),
 * and prints "WALL USER SYS" in seconds with six decimals on standard error.
 * GNU time rounds to hundredths, too coarse for runs of a few tenths of a
 * second. The exit status is CMD's (127 if it cannot be started).
 */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec * 1e-6; }

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: gprnpv-cputime CMD [ARG...]\n");
    return 2;
  }
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid = fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage ru;
  if (wait4(pid, &status, 0, &ru) < 0) return 127;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  double wall = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) * 1e-9;
  fprintf(stderr, "%.6f %.6f %.6f\n", wall, seconds(ru.ru_utime), seconds(ru.ru_stime));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
