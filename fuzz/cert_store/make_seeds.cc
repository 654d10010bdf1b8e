// make_seeds.cc - writes the store fuzz target's seeds: property files from the store's own writer and certificates from the factory.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/crypto/cert_properties.h"
#include "tools/cert_factory/cert_factory.h"

namespace {

void save(const std::string &folder, const std::string &name, const std::vector<uint8_t> &bytes) {
  std::ofstream(folder + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool save_certificate(const std::string &folder, const std::string &name, const certs::CertificateRequest &request) {
  std::string error;
  const std::optional<certs::MadeCertificate> made = certs::make_certificate(request, &error);
  if (!made) {
    std::fprintf(stderr, "make_seeds: %s: %s\n", name.c_str(), error.c_str());
    return false;
  }
  save(folder, name, made->der);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];

  certprops::Properties full;
  full.key_prov.emplace();
  full.key_prov->container = u"{0F2D9C5A-1111-4222-8333-444455556666}";
  full.key_prov->provider = u"Quillora Software Key Provider";
  full.key_prov->prov_type = 1;
  full.key_prov->key_spec = 2;
  full.key_prov->params = {{6969, 0, {1, 2, 3}}, {7, 1, {}}};
  save(folder, "props_key_prov", certprops::serialize(full));
  certprops::Properties nulls;
  nulls.key_prov.emplace();
  nulls.key_prov->prov_type = 24;
  save(folder, "props_null_strings", certprops::serialize(nulls));
  save(folder, "props_empty", certprops::serialize(certprops::Properties{}));
  // An unknown record (id 99, four bytes) before the known one, as a later version might write.
  std::vector<uint8_t> unknown = certprops::serialize(certprops::Properties{});
  unknown.insert(unknown.end(), {99, 0, 0, 0, 4, 0, 0, 0, 'n', 'e', 'w', '!'});
  const std::vector<uint8_t> known = certprops::serialize(full);
  unknown.insert(unknown.end(), known.begin() + 8, known.end());
  save(folder, "props_unknown_record", unknown);
  const std::string index = "index 1 highest 00000004 count 00000002\n"
                            "00000001 0123456789ABCDEF0123456789ABCDEF01234567\n"
                            "00000003 89ABCDEF0123456789ABCDEF0123456789ABCDEF\n";
  save(folder, "index_two_certificates", std::vector<uint8_t>(index.begin(), index.end()));

  certs::CertificateRequest v3;
  v3.subject = "CN=Fuzz Seed, O=Example, C=US";
  v3.issuer = "CN=Fuzz CA";
  v3.serial = {0x00, 0xA1, 0xFF};
  v3.key_usage = 0xC0;
  v3.rsa_bits = 1024;
  certs::CertificateRequest v1;
  v1.version = 1;
  v1.serial = {0xFF, 0x10};
  v1.not_after = 2524608000;  // 2050: GeneralizedTime
  v1.rsa_bits = 1024;
  return save_certificate(folder, "cert_v3_key_usage", v3) && save_certificate(folder, "cert_v1_negative_serial", v1)
             ? 0
             : 1;
}
