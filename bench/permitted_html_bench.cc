// permitted_html_bench.cc - IsPermittedHtml over 10 MB of permitted HTML, against memchr finding every "<" of the same text.
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "control/requests/permitted_html.h"

namespace {

constexpr size_t kTextBytes = 10 * 1024 * 1024;
constexpr int kDefaultRounds = 21;

// A document a page might send: paragraphs, emphasis, fonts with attributes, lists and tables,
// with Catalan text between the tags. About one tag every 12 bytes.
std::string permitted_document() {
  static const char *const kPieces[] = {
      "<H1>Contracte de serveis</H1>\r\n",
      "<P>El client <B>accepta</B> les condicions <I>generals</I> i <EM>particulars</EM>.</P>\r\n",
      "<p><font face=Arial color=\"#003366\" size=2>Import: <strong>1.250,00 \xe2\x82\xac</strong></font><br>\r\n",
      "<table border=1 cellpadding=2><tr><th>Concepte</th><th>Quantitat</th></tr>\r\n",
      "<tr><td nowrap>Manteniment</td><td align=right>12</td></tr></table>\r\n",
      "<ol><li>Primer</li><li>Segon</li></ol><ul><li>a</li></ul><hr>\r\n",
      "<dl><dt>Termini</dt><dd>30 dies</dd></dl><pre>ref. 2026/118</pre><tt>x</tt><br />\r\n",
  };
  std::string text;
  text.reserve(kTextBytes + 256);
  for (size_t i = 0; text.size() < kTextBytes; ++i) text += kPieces[i % (sizeof(kPieces) / sizeof(kPieces[0]))];
  text.resize(text.rfind('\n', kTextBytes) + 1);  // whole lines only, so every tag stays closed
  return text;
}

double vetting_seconds(const std::string &text) {
  const double start = bench::thread_seconds();
  const BOOL permitted = IsPermittedHtml(text.c_str());
  const double seconds = bench::thread_seconds() - start;
  if (!permitted) {
    fprintf(stderr, "permitted_html_bench: the document was refused\n");
    exit(1);
  }
  return seconds;
}

// The peer finds every "<" of the text and does nothing else.
double memchr_seconds(const std::string &text, size_t *opens) {
  const double start = bench::thread_seconds();
  size_t count = 0;
  const char *p = text.data();
  const char *const end = p + text.size();
  while ((p = static_cast<const char *>(memchr(p, '<', size_t(end - p)))) != nullptr) {
    ++count;
    ++p;
  }
  const double seconds = bench::thread_seconds() - start;
  *opens = count;
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  int rounds = kDefaultRounds;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, atoi(argv[i] + 9));
  }
  const std::string text = permitted_document();
  size_t opens = 0;
  std::vector<double> ours, peer;
  for (int round = 0; round < rounds; ++round) {  // alternate, so that noise hits both sides alike
    ours.push_back(vetting_seconds(text));
    peer.push_back(memchr_seconds(text, &opens));
  }
  const double mib = double(text.size()) / (1024.0 * 1024.0);
  const double ours_rate = mib / bench::median(ours), peer_rate = mib / bench::median(peer);
  printf("text: %.1f MiB, %zu tags; medians of %d rounds\n", mib, opens, rounds);
  printf("IsPermittedHtml: %8.1f MiB/s\n", ours_rate);
  printf("memchr for '<':  %8.1f MiB/s\n", peer_rate);
  printf("ratio (ours / memchr): %.2f (target: at least 0.85)\n", ours_rate / peer_rate);
  return 0;
}
