#include "platform/engine_trust_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "platform/process.h"

namespace platform {

namespace {

constexpr off_t kMaxCertificateFileBytes = 1024 * 1024;
constexpr char kCertutil[] = "/usr/bin/certutil";
constexpr char kNicknamePrefix[] = "VeltroCRM ";
constexpr std::chrono::seconds kCertutilLimit{10};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void AddCrtFiles(const std::string& folder, int depth, std::vector<std::string>& files) {
  DIR* directory = opendir(folder.c_str());
  if (!directory) return;
  while (dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string path = folder + "/" + name;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode) && depth > 0) AddCrtFiles(path, depth - 1, files);
    else if (S_ISREG(status.st_mode) && EndsWith(name, ".crt")) files.push_back(path);
  }
  closedir(directory);
}

std::string ReadSmallFile(const std::string& path, std::string& problem) {
  // Not blocking on a FIFO, not reading a device without end.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    problem = "cannot be read";
    return std::string();
  }
  struct stat status {};
  std::string text;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    problem = "not a plain file";
  } else if (status.st_size > kMaxCertificateFileBytes) {
    problem = "larger than 1 MiB";
  } else {
    text.resize(static_cast<size_t>(status.st_size));
    if (read(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) problem = "cannot be read";
  }
  close(fd);
  return problem.empty() ? text : std::string();
}

std::set<std::string> ReadStamp(const std::string& path) {
  std::set<std::string> nicknames;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);)
    if (line.rfind(kNicknamePrefix, 0) == 0) nicknames.insert(line);
  return nicknames;
}

bool Certutil(const std::vector<std::string>& arguments, const std::function<void(const std::string&)>& log) {
  std::vector<std::string> argv = {kCertutil};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::string errors;
  const int status = RunCommand(argv, kCertutilLimit, errors);
  if (status == 0) return true;
  errors.erase(std::remove(errors.begin(), errors.end(), '\n'), errors.end());
  log("certificate store: certutil " + arguments.front() + " ended with " + std::to_string(status) + ": " +
      errors.substr(0, 300));
  return false;
}

}  // namespace

std::vector<std::string> SystemAddedCertificateFiles(const std::string& folder) {
  std::vector<std::string> files;
  AddCrtFiles(folder, 1, files);
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> CertificatesInFile(const std::string& path, std::string& problem) {
  problem.clear();
  const std::string text = ReadSmallFile(path, problem);
  std::vector<std::string> certificates;
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  for (size_t begin = text.find(kBegin); begin != std::string::npos; begin = text.find(kBegin, begin)) {
    begin += kBegin.size();
    const size_t end = text.find(kEnd, begin);
    if (end == std::string::npos) break;
    const QByteArray der = QByteArray::fromBase64(QByteArray::fromStdString(text.substr(begin, end - begin)));
    // A DER certificate is one SEQUENCE.
    if (der.size() > 64 && static_cast<unsigned char>(der[0]) == 0x30) certificates.push_back(der.toStdString());
    begin = end;
  }
  if (certificates.empty() && problem.empty()) problem = "holds no certificate";
  return certificates;
}

std::string EngineTrustDatabase() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.pki/nssdb" : std::string();
}

void SyncEngineTrustStore(const std::vector<std::string>& files, const std::string& database,
                          const std::function<void(const std::string&)>& log) {
  std::map<std::string, std::pair<std::string, std::string>> wanted;  // nickname -> (DER, file)
  for (const std::string& file : files) {
    std::string problem;
    for (const std::string& der : CertificatesInFile(file, problem)) {
      const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(der), QCryptographicHash::Sha256);
      wanted[kNicknamePrefix + digest.toHex().left(16).toStdString()] = {der, file};
    }
    if (!problem.empty()) log("certificate file " + file + " not trusted: " + problem);
  }
  if (database.empty()) return;
  const std::string stamp_path = database + "/veltrocrm-trusted";
  const std::set<std::string> trusted_before = ReadStamp(stamp_path);
  std::set<std::string> wanted_names;
  for (const auto& [nickname, certificate] : wanted) wanted_names.insert(nickname);
  if (wanted_names == trusted_before) return;
  if (access(kCertutil, X_OK) != 0) {
    log("certificate store: no " + std::string(kCertutil) + " (package libnss3-tools); the page trusts none of " +
        std::to_string(wanted.size()) + " added authorities");
    return;
  }
  const std::string store = "sql:" + database;
  if (access((database + "/cert9.db").c_str(), F_OK) != 0) {
    const std::string parent = database.substr(0, database.rfind('/'));
    mkdir(parent.c_str(), 0700);
    mkdir(database.c_str(), 0700);
    if (!Certutil({"-N", "-d", store, "--empty-password"}, log)) return;
  }
  std::set<std::string> trusted_now;
  char folder_pattern[] = "/tmp/veltrocrm-certificate-XXXXXX";
  const char* folder = mkdtemp(folder_pattern);
  for (const auto& [nickname, certificate] : wanted) {
    if (trusted_before.count(nickname)) {
      trusted_now.insert(nickname);
      continue;
    }
    if (!folder) break;
    const std::string der_path = std::string(folder) + "/certificate.der";
    std::ofstream(der_path, std::ios::binary) << certificate.first;
    if (Certutil({"-A", "-d", store, "-n", nickname, "-t", "C,,", "-i", der_path}, log)) {
      trusted_now.insert(nickname);
      log("certificate store: the page trusts the authority of " + certificate.second + " (" + nickname + ")");
    }
    unlink(der_path.c_str());
  }
  if (folder) rmdir(folder);
  for (const std::string& nickname : trusted_before) {
    if (wanted_names.count(nickname)) continue;
    // One that the user took out already is gone all the same.
    if (Certutil({"-D", "-d", store, "-n", nickname}, log))
      log("certificate store: " + nickname + " no longer trusted, its file is gone");
  }
  std::ofstream stamp(stamp_path, std::ios::trunc);
  for (const std::string& nickname : trusted_now) stamp << nickname << "\n";
}

}  // namespace platform
