// dialogue.cpp: the five answers, read exactly as scanf("%d") and
// scanf("%lf") read them from standard input, with one warning line for an
// answer that is not read whole.
//
// How. Each answer is read as text first: the text a previous answer left
// over, if any, or else the next white-space-delimited token of standard
// input (white space before it skipped, the delimiter after it pushed back
// with ungetc). The real fscanf then converts that text through fmemopen,
// and ftell says how many bytes it consumed, also when the conversion fails
// (glibc consumes the "-" of "-x", say). What it did not consume stays over
// for the next answer, as it stays in the input for scanf: the values, and
// what is left in the input, are those of scanf. A number never continues
// past its token, so reading the token whole changes nothing that scanf
// would see. Whatever the last answer leaves over is the first byte the
// closing key read takes when standard input is not a terminal (see
// take_leftover_byte and read_key).
//
// Warning. An answer gets one line on the diagnostics stream when its text
// was left over by the previous answer, when it leaves text over, or when
// no number converts (text that is not a number, or the end of the input;
// the parameter then keeps its value, 0 at the start of the program). The
// line names the question, the text and the value taken. Console, files and
// values stay as they were without the warning.
//
// Cost: one token per answer; the token buffer grows with realloc (the
// core keeps to the C library), once, before the batch.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "network/network.h"

namespace gpr {
namespace {

char* text = nullptr;     // the answer's text: leftover or token
std::size_t cap = 0;
std::size_t len = 0;      // bytes of text
std::size_t left = 0;     // offset of the leftover in text (== len: none)

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void put(int c) {
  if (len + 1 >= cap) {
    cap = cap == 0 ? 64 : 2 * cap;
    char* grown = static_cast<char*>(std::realloc(text, cap));
    if (grown == nullptr) {
      std::fputs("gprnpv: out of memory reading an answer\n", stderr);
      std::exit(1);
    }
    text = grown;
  }
  text[len++] = static_cast<char>(c);
}

// Makes text[0..len) the text of the next answer; true when it is what the
// previous answer left over.
bool next_text() {
  if (left < len) {
    std::memmove(text, text + left, len - left);
    len -= left;
    left = 0;
    return true;
  }
  len = left = 0;
  int c;
  do c = std::getchar();
  while (c != EOF && is_space(c));
  while (c != EOF && !is_space(c)) {
    put(c);
    c = std::getchar();
  }
  if (c != EOF) std::ungetc(c, stdin);
  return false;
}

// Runs fscanf(fmt) over the text; returns its result and sets `left` to
// the number of bytes it consumed.
int convert(const char* fmt, void* value) {
  if (len == 0) {
    left = 0;
    return EOF;
  }
  std::FILE* in = fmemopen(text, len, "r");
  if (in == nullptr) {
    std::fputs("gprnpv: cannot read an answer\n", stderr);
    std::exit(1);
  }
  int n = std::fscanf(in, fmt, value);
  long used = std::ftell(in);
  std::fclose(in);
  left = used < 0 ? 0 : static_cast<std::size_t>(used);
  if (left > len) left = len;
  return n;
}

// The text from..to as a quoted C-string for the warning (at most 40
// bytes shown, bytes outside printable ASCII as '?').
const char* quoted(std::size_t from, std::size_t to, char* buf) {
  char* p = buf;
  *p++ = '"';
  for (std::size_t k = from; k < to && k < from + 40; k++) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    *p++ = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
  }
  if (to > from + 40) p = std::strcpy(p, "...") + 3;
  *p++ = '"';
  *p = '\0';
  return buf;
}

// The warning of an answer not read whole; nothing for one that was.
// `next` says where the rest goes ("for the deadline").
void warn(const char* question, const char* next, bool carried, int n, const char* shown) {
  if (!carried && left == len && n == 1) return;
  if (len == 0) {
    diag_printf("gprnpv: warning: %s: no answer (end of input); taken as %s", question, shown);
    return;
  }
  char all[64], rest[64];
  const char* source = carried ? " (left over by the previous answer)" : "";
  quoted(0, len, all);
  quoted(left, len, rest);
  if (n != 1 && left == len)
    diag_printf("gprnpv: warning: %s: %s%s is not a number; taken as %s", question, all, source,
                shown);
  else if (n != 1)
    diag_printf("gprnpv: warning: %s: %s%s is not a number; taken as %s, %s left %s", question,
                all, source, shown, rest, next);
  else if (left < len)
    diag_printf("gprnpv: warning: %s: %s%s is not read whole; taken as %s, %s left %s", question,
                all, source, shown, rest, next);
  else
    diag_printf("gprnpv: warning: %s: %s%s read as the answer; taken as %s", question, all,
                source, shown);
}

void ask_int(const char* prompt, const char* question, const char* next, int& value) {
  console_printf("%s", prompt);
  bool carried = next_text();
  int n = convert("%d", &value);
  char shown[16];
  std::snprintf(shown, sizeof shown, "%d", value);
  warn(question, next, carried, n, shown);
}

void ask_double(const char* prompt, const char* question, const char* next, double& value) {
  console_printf("%s", prompt);
  bool carried = next_text();
  int n = convert("%lf", &value);
  // The shortest text that reads back as the value.
  char shown[40];
  for (int digits = 1; digits <= 17; digits++) {
    std::snprintf(shown, sizeof shown, "%.*g", digits, value);
    if (std::strtod(shown, nullptr) == value) break;
  }
  warn(question, next, carried, n, shown);
}

}  // namespace

void read_parameters() {
  console_printf("\n An Optimal Recursive Search Procedure for the Deterministic Unconstrained Max-npv PSP\n");
  console_printf(" =======================================================================================\n\n");
  std::strcpy(prefix, "D");
  ask_int("\n Number of first problem : ", "first problem", "for the last problem", firstprob);
  ask_int("\n Number of last problem : ", "last problem", "for the percentage", lastprob);
  ask_int("\n Percentage negative cash flows (e.g. 50) : ", "percentage negative cash flows",
          "for the deadline", pctneg);
  ask_int("\n Deadline (expressed as number of time units above critical path ) : ", "deadline",
          "for the interest rate", deadext);
  ask_double("\n Interest rate (e.g. 0.01) : ", "interest rate", "in the input",
             interest);
  console_printf("\n\n filename  solution     npv     CPU time (sec)     error\n");
}

int take_leftover_byte() {
  if (left >= len) return -1;
  return static_cast<unsigned char>(text[left++]);
}

}  // namespace gpr
