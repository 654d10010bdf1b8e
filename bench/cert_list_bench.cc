// cert_list_bench.cc - building the unfiltered certificate list over a store of 1,000 certificates, against OpenSSL only parsing the same DER files.
#include <openssl/x509.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "control/dialogs/signature_dlg.h"
#include "tools/cert_factory/cert_factory.h"
#include "tools/quillora/certs/store_admin.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultCertificates = 1000;
constexpr int kDefaultRounds = 15;

// Fills the store with `count` certificates that all qualify, sharing one key to save time.
bool fill_store(int count) {
  std::string error;
  certs::CertificateRequest request;
  auto first = certs::make_certificate(request, &error);
  if (!first) {
    fprintf(stderr, "cert_list_bench: %s\n", error.c_str());
    return false;
  }
  for (int i = 0; i < count; ++i) {
    request.subject = "C=ES, O=Bench Org, CN=Bench Certificate " + std::to_string(i);
    request.issuer = "C=ES, O=Bench Org, CN=Bench CA";
    request.serial = {static_cast<uint8_t>(0x10 + i / 256), static_cast<uint8_t>(i % 256)};
    request.key_usage = 0xC0;
    auto made = certs::make_certificate(request, &error, first->key.get());
    if (!made || certs::install_certificate(made->der, made->key.get(), "", &error) != 0) {
      fprintf(stderr, "cert_list_bench: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

std::vector<std::filesystem::path> certificate_files(const std::string &root) {
  std::vector<std::filesystem::path> files;
  for (const auto &entry : std::filesystem::directory_iterator(root + "/certificates/MY")) {
    if (entry.path().extension() == ".cer") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

double ours_seconds(int expected) {
  const auto start = Clock::now();
  int count = 0;
  {
    CSignatureDlg dialog("text", TRUE);
    count = dialog.LoadCertificates();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (count != expected) {
    fprintf(stderr, "cert_list_bench: the list has %d entries, not %d\n", count, expected);
    exit(1);
  }
  return seconds;
}

// The peer reads and parses every DER file, and does nothing else.
double peer_seconds(const std::vector<std::filesystem::path> &files) {
  const auto start = Clock::now();
  size_t parsed = 0;
  for (const auto &path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const unsigned char *p = der.data();
    X509 *cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    parsed += cert != nullptr;
    X509_free(cert);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (parsed != files.size()) {
    fprintf(stderr, "cert_list_bench: OpenSSL parsed %zu of %zu files\n", parsed, files.size());
    exit(1);
  }
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int option_value(int argc, char **argv, const char *name, int fallback) {
  const size_t length = strlen(name);
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') return atoi(argv[i] + length + 1);
  }
  return fallback;
}

}  // namespace

int main(int argc, char **argv) {
  const int count = option_value(argc, argv, "--certificates", kDefaultCertificates);
  const int rounds = option_value(argc, argv, "--rounds", kDefaultRounds);
  std::string root = (std::filesystem::temp_directory_path() / "cert_list_bench_XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) return 1;
  setenv("QUILLORA_DATA_HOME", root.c_str(), 1);

  fprintf(stderr, "cert_list_bench: making a store of %d certificates in %s\n", count, root.c_str());
  if (!fill_store(count)) return 1;
  const auto files = certificate_files(root);

  ours_seconds(count);  // warm the page cache for both sides
  peer_seconds(files);
  std::vector<double> ours, peer;
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      ours.push_back(ours_seconds(count));
      peer.push_back(peer_seconds(files));
    } else {
      peer.push_back(peer_seconds(files));
      ours.push_back(ours_seconds(count));
    }
  }
  const double ours_median = median(ours), peer_median = median(peer);
  printf("certificates %d, rounds %d\n", count, rounds);
  printf("LoadCertificates        median %8.2f ms\n", ours_median * 1e3);
  printf("OpenSSL read + d2i_X509 median %8.2f ms\n", peer_median * 1e3);
  printf("ratio ours/peer (time)  %8.2f   (target: at most 3)\n", ours_median / peer_median);
  std::filesystem::remove_all(root);
  return 0;
}
