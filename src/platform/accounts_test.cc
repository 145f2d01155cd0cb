#include "platform/accounts.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_site.h"

namespace platform {
namespace {

// An access-control list in the kernel's own attribute form.
struct Entry {
  std::uint16_t tag;
  std::uint16_t rights;
  std::uint32_t id;
};
constexpr std::uint16_t kOwner = 0x01, kUser = 0x02, kOwningGroup = 0x04, kGroup = 0x08,
                        kMask = 0x10, kOthers = 0x20;
constexpr std::uint32_t kNoId = 0xFFFFFFFF;

bool SetList(const std::string& path, const std::vector<Entry>& entries) {
  std::string raw;
  auto put = [&raw](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) raw.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
  };
  put(2, 4);
  for (const Entry& e : entries) {
    put(e.tag, 2);
    put(e.rights, 2);
    put(e.id, 4);
  }
  return setxattr(path.c_str(), "system.posix_acl_access", raw.data(), raw.size(), 0) == 0;
}

// What the kernel answers when the account itself asks.
bool KernelGrants(const Account& account, const std::string& path, int mode) {
  pid_t child = fork();
  if (child == 0) {
    std::vector<gid_t> groups(account.groups.begin(), account.groups.end());
    bool as_account = setgroups(groups.size(), groups.data()) == 0 &&
                      setresgid(account.group_id, account.group_id, account.group_id) == 0 &&
                      setresuid(account.id, account.id, account.id) == 0;
    _exit(!as_account ? 2 : access(path.c_str(), mode) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not become " << account.name;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Each list on a folder that the mode bits alone keep from the account: the
// site check's answer for every kind of access is the kernel's.
TEST(AccountsTest, AnAccessListIsReadAsTheKernelReadsIt) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root: the folder's owner is set and other accounts ask";
  Account web;
  ASSERT_TRUE(LookUpAccount("nobody", web));
  testkit::TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // the way to the folder open to all
  std::string path = dir.path() + "/stats";
  ASSERT_EQ(mkdir(path.c_str(), 0750), 0);
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
  if (!SetList(path, {{kOwner, 7, kNoId}, {kOwningGroup, 5, kNoId}, {kOthers, 0, kNoId}}))
    GTEST_SKIP() << "this file system keeps no access-control lists";
  const std::uint32_t uid = web.id;
  const std::uint32_t gid = web.group_id;
  const std::vector<std::vector<Entry>> lists = {
      // A named entry for the account, whole; then cut by the mask.
      {{kOwner, 7, kNoId},
       {kUser, 7, uid},
       {kOwningGroup, 5, kNoId},
       {kMask, 7, kNoId},
       {kOthers, 0, kNoId}},
      {{kOwner, 7, kNoId},
       {kUser, 7, uid},
       {kOwningGroup, 5, kNoId},
       {kMask, 5, kNoId},
       {kOthers, 0, kNoId}},
      // A named group of the account's; one that grants less than the others' entry.
      {{kOwner, 7, kNoId},
       {kOwningGroup, 5, kNoId},
       {kGroup, 3, gid},
       {kMask, 7, kNoId},
       {kOthers, 0, kNoId}},
      {{kOwner, 7, kNoId},
       {kOwningGroup, 5, kNoId},
       {kGroup, 1, gid},
       {kMask, 7, kNoId},
       {kOthers, 7, kNoId}},
      // Another account named; the others' entry decides.
      {{kOwner, 7, kNoId},
       {kUser, 7, uid + 1},
       {kOwningGroup, 5, kNoId},
       {kMask, 7, kNoId},
       {kOthers, 3, kNoId}},
  };
  for (std::size_t i = 0; i < lists.size(); ++i) {
    ASSERT_TRUE(SetList(path, lists[i]));
    for (unsigned access :
         {0u + kRead, 0u + kWrite, 0u + kSearch, kWrite | kSearch, kRead | kSearch}) {
      int mode = ((access & kRead) ? R_OK : 0) | ((access & kWrite) ? W_OK : 0) |
                 ((access & kSearch) ? X_OK : 0);
      EXPECT_EQ(AccountMay(web, path, access), KernelGrants(web, path, mode))
          << "list " << i << ", access " << access;
    }
  }
  // Without a list the mode bits decide, as before.
  ASSERT_EQ(removexattr(path.c_str(), "system.posix_acl_access"), 0);
  ASSERT_EQ(chmod(path.c_str(), 0757), 0);
  EXPECT_TRUE(AccountMay(web, path, kWrite | kSearch));
  EXPECT_EQ(KernelGrants(web, path, W_OK | X_OK), true);
}

// An entry granted to the account: the kernel lets it write; the owner's,
// the owning group's and the others' entries, the owner and the group stay.
TEST(AccountsTest, AGrantedEntryLetsTheAccountInAndKeepsTheRest) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root: the folder's owner is set and another account asks";
  Account web;
  ASSERT_TRUE(LookUpAccount("nobody", web));
  testkit::TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  std::string path = dir.path() + "/Statistics";
  ASSERT_EQ(mkdir(path.c_str(), 02755), 0);
  ASSERT_EQ(chown(path.c_str(), 1, 1), 0);  // daemon's, as a site's own account
  ASSERT_EQ(chmod(path.c_str(), 02755), 0);
  EXPECT_TRUE(OwnedByAnotherAccount(web, path));
  ASSERT_FALSE(KernelGrants(web, path, W_OK | X_OK));
  if (!GrantToAccount(web, path, kRead | kWrite | kSearch))
    GTEST_SKIP() << "this file system keeps no access-control lists";
  EXPECT_TRUE(KernelGrants(web, path, W_OK | X_OK));
  EXPECT_TRUE(AccountMay(web, path, kWrite | kSearch));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1u);
  EXPECT_EQ(st.st_gid, 1u);
  // The owner's, owning group's and others' entries as the mode had them
  // (the group bits now show the mask, which lets the entry through).
  char raw[256];
  ssize_t size = getxattr(path.c_str(), "system.posix_acl_access", raw, sizeof raw);
  ASSERT_GT(size, 4);
  std::vector<std::pair<int, int>> kept;
  for (ssize_t i = 4; i + 8 <= size; i += 8) {
    int tag = static_cast<unsigned char>(raw[i]) | static_cast<unsigned char>(raw[i + 1]) << 8;
    int rights = static_cast<unsigned char>(raw[i + 2]);
    if (tag == kOwner || tag == kOwningGroup || tag == kOthers) kept.emplace_back(tag, rights);
  }
  EXPECT_EQ(kept, (std::vector<std::pair<int, int>>{{kOwner, 7}, {kOwningGroup, 5}, {kOthers, 5}}));
  EXPECT_EQ(st.st_mode & 07707, 02705u);
  // Granted again, the list holds one entry for the account.
  ASSERT_TRUE(GrantToAccount(web, path, kRead | kSearch));
  EXPECT_FALSE(KernelGrants(web, path, W_OK));
}

// The mends run as root in folders the web account writes. Names it put
// there (a link to a root-only file or folder, a second name of that file)
// are refused and the file keeps its owner, mode and list; a link of the
// operator's, in a folder the account cannot write, is followed.
TEST(AccountsTest, AMendNeverActsThroughANameTheAccountPutThere) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the mends are root's and the names another's";
  Account web;
  ASSERT_TRUE(LookUpAccount("nobody", web));
  testkit::TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const std::string secret = dir.path() + "/secret", vault = dir.path() + "/vault";
  const std::string stats = dir.path() + "/Statistics";
  ASSERT_EQ(mkdir(vault.c_str(), 0700), 0);
  testkit::WriteFile(secret, "root's own");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(stats.c_str(), 0755), 0);
  ASSERT_EQ(chown(stats.c_str(), web.id, web.group_id), 0);
  ASSERT_EQ(symlink(secret.c_str(), (stats + "/link").c_str()), 0);
  ASSERT_EQ(symlink(vault.c_str(), (stats + "/folder").c_str()), 0);
  ASSERT_EQ(link(secret.c_str(), (stats + "/second").c_str()), 0);
  testkit::WriteFile(vault + "/inside", "");
  ASSERT_EQ(chmod((vault + "/inside").c_str(), 0600), 0);
  for (const char* name : {"/link", "/second", "/folder", "/folder/inside"}) {
    const std::string path = stats + name;
    EXPECT_FALSE(GiveToAccount(web, path)) << name;
    EXPECT_FALSE(GiveToAccountsGroup(web, path, 0775)) << name;
    EXPECT_FALSE(AddRights(web, path, 0777)) << name;
    EXPECT_FALSE(GrantToAccount(web, path, kRead | kWrite | kSearch)) << name;
  }
  for (const std::string& kept : {secret, vault, vault + "/inside"}) {
    struct stat st {};
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << kept;
    EXPECT_EQ(st.st_mode & 0077, 0u) << kept;
    EXPECT_LT(getxattr(kept.c_str(), "system.posix_acl_access", nullptr, 0), 0) << kept;
  }
  // The operator's link, in a folder only root writes, to a file of the account's folder.
  testkit::WriteFile(stats + "/own", "");
  ASSERT_EQ(symlink(stats.c_str(), (dir.path() + "/stats-link").c_str()), 0);
  EXPECT_TRUE(GiveToAccount(web, dir.path() + "/stats-link/own"));
  struct stat own {};
  ASSERT_EQ(stat((stats + "/own").c_str(), &own), 0);
  EXPECT_EQ(own.st_uid, web.id);
}

}  // namespace
}  // namespace platform
#endif
