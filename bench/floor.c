/* floor.c: the parse-only floor of a gprnpv batch.
 *
 * gprnpv-floor FIRST LAST opens D<n>.gpr of the working directory for every
 * n from FIRST to LAST, twice as the reader does, reads it whole and parses
 * its integers, and prints a checksum of them so that nothing is optimised
 * away. No lists, no matrix, no search, no output files: a batch of gprnpv
 * over the same files can be no faster than this. Missing files are skipped.
 */
#include <stdio.h>
#include <stdlib.h>

static unsigned char buffer[1 << 20];

/* Sum of the integers in buf[0..len), each read as an optional sign and
 * digits after white space. */
static long long parse_all(const unsigned char *p, const unsigned char *end) {
  long long sum = 0;
  while (p < end) {
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) p++;
    if (p == end) break;
    int neg = 0;
    if (*p == '-' || *p == '+') neg = *p++ == '-';
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') v = v * 10 + (*p++ - '0');
    sum += neg ? -v : v;
    if (p < end && !(*p == ' ' || (*p >= '\t' && *p <= '\r'))) p++; /* junk */
  }
  return sum;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: gprnpv-floor FIRST LAST\n");
    return 2;
  }
  int first = atoi(argv[1]), last = atoi(argv[2]);
  long long check = 0;
  char name[32];
  for (int n = first; n <= last; n++) {
    snprintf(name, sizeof name, "D%d.gpr", n);
    for (int pass = 0; pass < 2; pass++) {
      FILE *f = fopen(name, "rb");
      if (f == NULL) break;
      size_t len;
      while ((len = fread(buffer, 1, sizeof buffer, f)) > 0)
        check += parse_all(buffer, buffer + len);
      fclose(f);
    }
  }
  printf("%lld\n", check);
  return 0;
}
