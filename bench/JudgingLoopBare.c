/* The floor of a judging loop, as a small C program of its own: per test,
   the input copied beside the program, the program forked and exec'ed
   there, waited for, and its output compared with the answer.

     bench_judging_loop_bare PROGRAM ROOM RUNS TESTDIR...

   Runs RUNS tests over the test folders in turn (each holds E.INP and the
   answer E.OUT) and prints "<passed> <wall seconds> <own CPU seconds>". */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static double Cpu(void) {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return (double)u.ru_utime.tv_sec + (double)u.ru_utime.tv_usec / 1e6 + (double)u.ru_stime.tv_sec +
         (double)u.ru_stime.tv_usec / 1e6;
}

static long ReadAll(const char* path, char* buffer, long size) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  long total = 0, n;
  while (total < size && (n = read(fd, buffer + total, (size_t)(size - total))) > 0) total += n;
  close(fd);
  return total;
}

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const char* program = argv[1];
  const char* room = argv[2];
  long runs = atol(argv[3]);
  int tests = argc - 4;
  char path[4096], input[4096], output[4096], answer[4096], got[4096];
  snprintf(input, sizeof input, "%s/E.INP", room);
  snprintf(output, sizeof output, "%s/E.OUT", room);
  double wall = Now(), cpu = Cpu();
  long passed = 0;
  for (long i = 0; i < runs; ++i) {
    const char* test = argv[4 + i % tests];
    char data[4096];
    snprintf(path, sizeof path, "%s/E.INP", test);
    long n = ReadAll(path, data, sizeof data);
    int out = open(input, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (n < 0 || out < 0 || write(out, data, (size_t)n) != n) return 3;
    close(out);
    unlink(output);
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(room) != 0) _exit(127);
      char* args[] = {(char*)program, NULL};
      execv(program, args);
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    snprintf(path, sizeof path, "%s/E.OUT", test);
    long a = ReadAll(path, answer, sizeof answer), g = ReadAll(output, got, sizeof got);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && a >= 0 && a == g && memcmp(answer, got, (size_t)a) == 0)
      ++passed;
  }
  printf("%ld %.6f %.6f\n", passed, Now() - wall, Cpu() - cpu);
  return 0;
}
