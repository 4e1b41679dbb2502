// Saving an output over what is already at its path: files replaced whole with their
// permission bits, symbolic links written through, devices and pipes written directly,
// folders refused, and names up to the file system's limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "pdfrepair.h"
#include "pdfrepair/save.h"
#include "support/pdf_builder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pdftest::TempDir;

const std::string saved = "%PDF-1.4\nthe new bytes\n";

int save(const std::string& path) {
  return pdfrepair::save_output(reinterpret_cast<const pdfrepair::byte*>(saved.data()), saved.size(), path.c_str());
}

// Every name in the folder: what a save leaves beside its output.
std::vector<std::string> names(const TempDir& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(fs::path(dir.path("")))) found.push_back(entry.path().filename().string());
  std::sort(found.begin(), found.end());
  return found;
}

TEST(SaveOutput, FoldersAreRefusedAndLongNamesWritten) {
  TempDir dir;
  fs::create_directories(dir.path("folder"));
  EXPECT_EQ(save(dir.path("folder")), 0);
  EXPECT_EQ(pdfrepair_last_error(), "cannot write " + dir.path("folder"));
#ifndef _WIN32  // there a whole path has at most 259 characters
  // The longest name the file system takes: the temporary file beside it must be shorter.
  const long limit = pathconf(dir.path("").c_str(), _PC_NAME_MAX);
  ASSERT_GT(limit, 16);
  for (const std::size_t length : {std::size_t(limit) - 16, std::size_t(limit)}) {
    SCOPED_TRACE(length);
    const std::string name(length - 4, 'n');
    EXPECT_EQ(save(dir.path(name + ".pdf")), 1) << pdfrepair_last_error();
    EXPECT_EQ(TempDir::read(dir.path(name + ".pdf")), saved);
    fs::remove(dir.path(name + ".pdf"));
  }
#endif
  EXPECT_EQ(names(dir), std::vector<std::string>{"folder"});
}

#ifndef _WIN32

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SaveOutput, SymbolicLinksAreWrittenThrough) {
  TempDir dir;
  fs::create_directories(dir.path("real"));
  const std::string file = dir.write("real/file.pdf", "old");
  fs::create_symlink("real/file.pdf", dir.path("link.pdf"));
  fs::create_symlink("link.pdf", dir.path("chain.pdf"));  // a link to a link
  fs::create_symlink("real", dir.path("folder-link"));
  fs::create_symlink("nowhere.pdf", dir.path("dangling.pdf"));
  const struct {
    const char* name;
    std::string output;
  } cases[] = {
      {"a link", dir.path("link.pdf")},
      {"a link to a link", dir.path("chain.pdf")},
      {"a file in a linked folder", dir.path("folder-link/file.pdf")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("real/file.pdf", "old");
    ASSERT_EQ(save(c.output), 1) << pdfrepair_last_error();
    EXPECT_EQ(TempDir::read(file), saved);
    EXPECT_TRUE(fs::is_symlink(dir.path("link.pdf")));
    EXPECT_TRUE(fs::is_symlink(dir.path("chain.pdf")));
  }
  // A link that leads nowhere names no file to replace: it stays, and nothing is made.
  EXPECT_EQ(save(dir.path("dangling.pdf")), 0);
  EXPECT_EQ(pdfrepair_last_error(), "cannot write " + dir.path("dangling.pdf"));
  EXPECT_TRUE(fs::is_symlink(dir.path("dangling.pdf")));
  EXPECT_EQ(names(dir), (std::vector<std::string>{"chain.pdf", "dangling.pdf", "folder-link", "link.pdf", "real"}));
}

TEST(SaveOutput, ReplacedFilesKeepTheirPermissionBits) {
  TempDir dir;
  for (const mode_t mode : {0600, 0640, 0755, 0604}) {
    SCOPED_TRACE(mode);
    const std::string out = dir.write("out.pdf", "old");
    ASSERT_EQ(chmod(out.c_str(), mode), 0);
    ASSERT_EQ(save(out), 1) << pdfrepair_last_error();
    EXPECT_EQ(mode_of(out), mode);
    EXPECT_EQ(TempDir::read(out), saved);
  }
  // A new file gets what a plain create gives it.
  const mode_t mask = umask(022);
  umask(mask);
  ASSERT_EQ(save(dir.path("new.pdf")), 1);
  EXPECT_EQ(mode_of(dir.path("new.pdf")), 0666 & ~mask);
}

TEST(SaveOutput, PipesAreWrittenDirectlyAndOnlyOnceTheOutputIsReady) {
  TempDir dir;
  const std::string fifo = dir.path("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("pipe", dir.path("pipe-link"));
  for (const std::string& output : {fifo, dir.path("pipe-link")}) {
    SCOPED_TRACE(output);
    std::string received;
    std::thread reader([&] { received = TempDir::read(fifo); });
    EXPECT_EQ(save(output), 1) << pdfrepair_last_error();
    reader.join();
    EXPECT_EQ(received, saved);
    EXPECT_TRUE(fs::is_fifo(fifo));
  }
  // A failed repair opens no writer: a reader that does not wait finds the pipe without one.
  const std::string text = dir.write("text.pdf", "just words\n");
  const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  pdfrepair_init();
  EXPECT_EQ(pdfrepair_fix(text.c_str(), fifo.c_str()), 0);
  pdfrepair_cleanup();
  char byte;
  EXPECT_EQ(read(fd, &byte, 1), 0);
  close(fd);
  EXPECT_EQ(names(dir), (std::vector<std::string>{"pipe", "pipe-link", "text.pdf"}));
}

// The repair writes its output beside the target as it goes: a write that fails after the
// first pieces went out (here past a file size limit) removes what was written, and the file
// it would have replaced keeps its bytes.
TEST(SaveOutput, AWriteThatFailsPartWayLeavesTheTargetAsItWas) {
  TempDir dir;
  const std::string image(3 << 20, 'x');  // three pieces of 1 MiB and more
  const std::string input = dir.write("in.pdf", pdftest::PdfBuilder()
                                                    .object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                                    .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                                    .object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Contents 4 0 R>>")
                                                    .stream(4, "", image)
                                                    .root(1)
                                                    .build()
                                                    .bytes);
  const std::string out = dir.write("out.pdf", "old");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of ending the process
    const rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    pdfrepair_init();
    const int result = pdfrepair_fix(input.c_str(), out.c_str());
    _exit(result == 0 && pdfrepair_last_error() == "write error on " + out ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the repair did not fail with a write error";
  EXPECT_EQ(TempDir::read(out), "old");
  EXPECT_EQ(names(dir), (std::vector<std::string>{"in.pdf", "out.pdf"}));
}

#endif

}  // namespace
