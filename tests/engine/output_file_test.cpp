#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>

#include "engine/file_paths.h"
#include "engine/output_file.h"
#include "support/capture_builder.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void put(OutputFile& file, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file.stream());
}

}  // namespace

TEST(OutputFile, ReplacesTheTargetOnlyWhenCommitted) {
    TempFile target("out.txt");
    target.write(bytesOf("good old contents"));
    {
        OutputFile abandoned(target.path());
        ASSERT_EQ(abandoned.state(), SaveOutcome::Saved);
        put(abandoned, "half a new fi");
    }  // a failure on the way: never committed
    EXPECT_EQ(target.read(), bytesOf("good old contents"));
    EXPECT_EQ(namesIn(target.folder()), (std::vector<std::string>{"out.txt"}));

    ::chmod(target.path().c_str(), 0640);
    OutputFile file(target.path());
    put(file, "new");
    EXPECT_EQ(target.read(), bytesOf("good old contents"));  // not before the commit
    EXPECT_EQ(file.commit(), SaveOutcome::Saved);
    EXPECT_EQ(target.read(), bytesOf("new"));
    struct stat info {};
    ASSERT_EQ(::stat(target.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(namesIn(target.folder()), (std::vector<std::string>{"out.txt"}));
}

TEST(OutputFile, RefusesTheProtectedFileUnderAnySpelling) {
    TempFile capture("capture.pcap");
    capture.write(bytesOf("the capture"));
    const std::string link = capture.folder() + "/link.pcap";
    ASSERT_EQ(::symlink(capture.path().c_str(), link.c_str()), 0);
    const std::string hard = capture.folder() + "/hard.pcap";
    ASSERT_EQ(::link(capture.path().c_str(), hard.c_str()), 0);
    for (const std::string& spelling :
         {capture.path(), link, hard,
          capture.folder() + "/./../" + capture.folder().substr(capture.folder().rfind('/') + 1) +
              "/capture.pcap"}) {
        OutputFile file(spelling, capture.path());
        EXPECT_EQ(file.state(), SaveOutcome::SameAsInput) << spelling;
        EXPECT_EQ(file.stream(), nullptr);
        EXPECT_EQ(file.commit(), SaveOutcome::SameAsInput);
    }
    EXPECT_EQ(capture.read(), bytesOf("the capture"));
    EXPECT_TRUE(sameFile(link, capture.path()));
    EXPECT_FALSE(sameFile(capture.folder() + "/none", capture.path()));
    ::unlink(link.c_str());
    ::unlink(hard.c_str());
}

TEST(OutputFile, WritesThroughLinksAndIntoDevices) {
    TempFile real("real.txt");
    real.write(bytesOf("old"));
    const std::string link = real.folder() + "/link.txt";
    ASSERT_EQ(::symlink(real.path().c_str(), link.c_str()), 0);
    OutputFile file(link);
    put(file, "through the link");
    ASSERT_EQ(file.commit(), SaveOutcome::Saved);
    EXPECT_EQ(real.read(), bytesOf("through the link"));
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ::unlink(link.c_str());

    // A link to a file that is not there yet, through a relative path and a second link:
    // the file is made where they lead, and the links stay links.
    const std::string dangling = real.folder() + "/dangling.txt";
    const std::string second = real.folder() + "/second.txt";
    ASSERT_EQ(::symlink("made.txt", second.c_str()), 0);
    ASSERT_EQ(::symlink("second.txt", dangling.c_str()), 0);
    OutputFile made(dangling);
    put(made, "where it points");
    ASSERT_EQ(made.commit(), SaveOutcome::Saved);
    EXPECT_EQ(fileText(real.folder() + "/made.txt"), "where it points");
    ASSERT_EQ(::lstat(dangling.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::lstat(second.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    OutputFile null("/dev/null");
    put(null, "discarded");
    EXPECT_EQ(null.commit(), SaveOutcome::Saved);
    if (access("/dev/full", W_OK) == 0) {
        OutputFile full("/dev/full");
        std::string big(1 << 16, 'x');
        put(full, big);
        EXPECT_EQ(full.commit(), SaveOutcome::Failed);
    }
    EXPECT_EQ(OutputFile(real.folder() + "/missing/x.txt").state(), SaveOutcome::Failed);
    EXPECT_EQ(OutputFile(real.folder()).state(), SaveOutcome::Failed);
    EXPECT_EQ(OutputFile("").state(), SaveOutcome::Failed);
}

TEST(NormalPath, OneSpellingPerFile) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    const std::string cwd = here;
    EXPECT_EQ(normalPath("x.pcap"), cwd + "/x.pcap");
    EXPECT_EQ(normalPath("./x.pcap"), cwd + "/x.pcap");
    EXPECT_EQ(normalPath("/a//b/./c/../x.pcap"), "/a/b/x.pcap");
    EXPECT_EQ(normalPath("/a/b/"), "/a/b");
    EXPECT_EQ(normalPath("/"), "/");
    EXPECT_EQ(normalPath(""), "");
}
