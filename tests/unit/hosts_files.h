#ifndef TESTS_UNIT_HOSTS_FILES_H_
#define TESTS_UNIT_HOSTS_FILES_H_

#include <sys/stat.h>

#include "channel/hosts_pinning.h"
#include "test_support.h"

// The files of a hosts change kept in |dir|, with "example" and
// "service.test" the pinnable suffixes.
inline channel::HostsFiles FilesIn(const TempDir& dir) {
  const channel::HostsFiles files{(dir.path() / "hosts").string(), (dir.path() / "pinnable").string(),
                                   (dir.path() / "lock").string()};
  WriteFile(files.pinnable_domains, "# ours\nexample\n  service.test  \nnot a domain\n");
  chmod(files.pinnable_domains.c_str(), 0644);
  return files;
}

#endif  // TESTS_UNIT_HOSTS_FILES_H_
