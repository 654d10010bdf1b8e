// cert_list_bench.cc - filling a store one certificate at a time (with and without keys) against a durable write of each file, and building the unfiltered list over it against OpenSSL only parsing the same DER files.
#include <fcntl.h>
#include <openssl/x509.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "control/dialogs/signature_dlg.h"
#include "platform/base/last_error.h"
#include "platform/crypto/cert_store.h"
#include "tools/cert_factory/cert_factory.h"
#include "tools/quillora/certs/store_admin.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultCertificates = 1000;
constexpr int kDefaultRounds = 15;
// The first and the last this many additions are compared to see whether an addition's cost grows
// with the store.
constexpr int kEdgeAdditions = 100;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// `count` certificates that all qualify, sharing one key to save time; made before anything is timed.
std::vector<certs::MadeCertificate> make_certificates(int count, certs::Pkey *key) {
  std::string error;
  certs::CertificateRequest request;
  auto first = certs::make_certificate(request, &error);
  if (!first) {
    fprintf(stderr, "cert_list_bench: %s\n", error.c_str());
    exit(1);
  }
  std::vector<certs::MadeCertificate> made;
  for (int i = 0; i < count; ++i) {
    request.subject = "C=ES, O=Bench Org, CN=Bench Certificate " + std::to_string(i);
    request.issuer = "C=ES, O=Bench Org, CN=Bench CA";
    request.serial = {static_cast<uint8_t>(0x10 + i / 256), static_cast<uint8_t>(i % 256)};
    request.key_usage = 0xC0;
    auto certificate = certs::make_certificate(request, &error, first->key.get());
    if (!certificate) {
      fprintf(stderr, "cert_list_bench: %s\n", error.c_str());
      exit(1);
    }
    made.push_back(std::move(*certificate));
  }
  *key = std::move(first->key);
  return made;
}

// The least a crash-safe store does per addition: the bytes written to a temporary file, flushed,
// renamed into place, and the folder flushed. The peer's folder fills as the store's does.
void durable_write(const std::string &folder, const std::string &name, const std::vector<uint8_t> &bytes) {
  const std::string temporary = folder + "/.tmp-" + name, path = folder + "/" + name;
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                       fsync(fd) == 0;
  if (fd >= 0) close(fd);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool placed = written && rename(temporary.c_str(), path.c_str()) == 0 && dir >= 0 && fsync(dir) == 0;
  if (dir >= 0) close(dir);
  if (!placed) {
    fprintf(stderr, "cert_list_bench: cannot write %s\n", path.c_str());
    exit(1);
  }
}

// One way of adding a certificate to the store, as a program adds one at a time: open, add, close.
struct Addition {
  const char *name;
  void (*add)(const certs::MadeCertificate &made, EVP_PKEY *key);
};

void add_encoded(const certs::MadeCertificate &made, EVP_PKEY *) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                   CERT_SYSTEM_STORE_CURRENT_USER, u"MY");
  const bool added = store != nullptr && CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, made.der.data(),
                                                                          static_cast<DWORD>(made.der.size()),
                                                                          CERT_STORE_ADD_NEW, nullptr);
  CertCloseStore(store, 0);
  if (!added) {
    fprintf(stderr, "cert_list_bench: CertAddEncodedCertificateToStore failed with 0x%08X\n", GetLastError());
    exit(1);
  }
}

void install_with_key(const certs::MadeCertificate &made, EVP_PKEY *key) {
  std::string error;
  if (certs::install_certificate(made.der, key, "", &error) != 0) {
    fprintf(stderr, "cert_list_bench: %s\n", error.c_str());
    exit(1);
  }
}

// Adds the certificates one by one into an empty store under `root`; the peer writes each DER
// durably into a folder of its own. The two take turns going first, so that both see the same load.
void fill_store(const Addition &addition, const std::vector<certs::MadeCertificate> &made, EVP_PKEY *key,
                const std::string &root) {
  setenv("QUILLORA_DATA_HOME", root.c_str(), 1);
  const std::string peer_folder = root + "/peer";
  std::filesystem::create_directories(peer_folder);
  std::vector<double> ours, peer;
  for (size_t i = 0; i < made.size(); ++i) {
    for (int side = 0; side < 2; ++side) {
      const auto start = Clock::now();
      if ((side == 0) == (i % 2 == 0)) {
        addition.add(made[i], key);
        ours.push_back(seconds_since(start));
      } else {
        durable_write(peer_folder, std::to_string(i) + ".cer", made[i].der);
        peer.push_back(seconds_since(start));
      }
    }
  }
  double ours_total = 0, peer_total = 0;
  for (double t : ours) ours_total += t;
  for (double t : peer) peer_total += t;
  const size_t edge = std::min<size_t>(kEdgeAdditions, ours.size());
  // The medians of the first and the last `edge` times, and how much the second exceeds the first.
  const auto growth = [edge](const std::vector<double> &times, double *first, double *last) {
    *first = bench::median({times.begin(), times.begin() + static_cast<long>(edge)});
    *last = bench::median({times.end() - static_cast<long>(edge), times.end()});
    return *last / *first;
  };
  double ours_first, ours_last, peer_first, peer_last;
  const double ours_growth = growth(ours, &ours_first, &ours_last);
  const double peer_growth = growth(peer, &peer_first, &peer_last);
  printf("filling, %zu certificates one by one: %s\n", made.size(), addition.name);
  printf("  ours %8.2f s in all; per addition, median of the first %zu %6.2f ms, of the last %zu %6.2f ms\n",
         ours_total, edge, ours_first * 1e3, edge, ours_last * 1e3);
  printf("  peer %8.2f s in all; per write,    median of the first %zu %6.2f ms, of the last %zu %6.2f ms\n",
         peer_total, edge, peer_first * 1e3, edge, peer_last * 1e3);
  printf("  ratio ours/peer (time) %6.2f; growth last/first: ours %5.2f, peer %5.2f\n", ours_total / peer_total,
         ours_growth, peer_growth);
  printf("  (targets: under 10 s in all, ours growing no more than the peer)\n");
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
  const double seconds = seconds_since(start);
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
  const double seconds = seconds_since(start);
  if (parsed != files.size()) {
    fprintf(stderr, "cert_list_bench: OpenSSL parsed %zu of %zu files\n", parsed, files.size());
    exit(1);
  }
  return seconds;
}

void time_list(int count, int rounds, const std::string &root) {
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
  const double ours_median = bench::median(ours), peer_median = bench::median(peer);
  printf("listing, certificates %d, rounds %d\n", count, rounds);
  printf("LoadCertificates        median %8.2f ms\n", ours_median * 1e3);
  printf("OpenSSL read + d2i_X509 median %8.2f ms\n", peer_median * 1e3);
  printf("ratio ours/peer (time)  %8.2f   (target: at most 3)\n", ours_median / peer_median);
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
  if (count < 1 || rounds < 1) {
    fprintf(stderr, "usage: cert_list_bench [--certificates=N] [--rounds=N]\n");
    return 64;
  }
  std::string work = (std::filesystem::temp_directory_path() / "cert_list_bench_XXXXXX").string();
  if (mkdtemp(work.data()) == nullptr) return 1;

  fprintf(stderr, "cert_list_bench: making %d certificates, then filling stores in %s\n", count, work.c_str());
  certs::Pkey key;
  const std::vector<certs::MadeCertificate> made = make_certificates(count, &key);
  fill_store({"CertAddEncodedCertificateToStore, no key", add_encoded}, made, key.get(), work + "/encoded");
  // The list is timed over the store whose certificates all have their key, and so all qualify.
  fill_store({"install_certificate (certs import after decoding), with key", install_with_key}, made, key.get(),
             work + "/installed");
  time_list(count, rounds, work + "/installed");
  std::filesystem::remove_all(work);
  return 0;
}
