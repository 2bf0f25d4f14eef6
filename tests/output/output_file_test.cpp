#include "output/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::scratch_path;

// Writes text through the output file and puts it in place; messages holds what it printed.
int write_through(const std::string& name, const std::string& text, MessageSink& messages) {
    OutputFile output;
    if (output.open(name, messages) != 0) return 1;
    if (std::fputs(text.c_str(), output.stream()) < 0) {
        output.fail(messages);
        return 1;
    }
    return output.finish(messages);
}

mode_t permission_bits(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(OutputFile, creates_and_replaces_regular_files) {
    std::string path = scratch_path("graph");
    std::remove(path.c_str());
    mode_t mask = umask(022);
    test_support::MemoryMessages messages;
    EXPECT_EQ(write_through(path, "first\n", messages.sink()), 0);
    EXPECT_EQ(permission_bits(path), 0644u);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(write_through(path, "second\n", messages.sink()), 0);
    EXPECT_EQ(messages.text(), "");
    umask(mask);
    EXPECT_EQ(file_bytes(path), "second\n");
    EXPECT_EQ(permission_bits(path), 0600u);
    std::remove(path.c_str());
}

TEST(OutputFile, follows_symbolic_links_to_their_target) {
    std::string target = scratch_path("target");
    std::string link = scratch_path("link");
    std::string relative_link = scratch_path("relative");
    std::remove(target.c_str());
    std::remove(link.c_str());
    std::remove(relative_link.c_str());
    // A dangling link names the file to create; a relative one is read from its directory.
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    std::string target_name = target.substr(target.rfind('/') + 1);
    ASSERT_EQ(symlink(target_name.c_str(), relative_link.c_str()), 0);
    // A failed write through a dangling link leaves it dangling.
    test_support::MemoryMessages messages;
    {
        OutputFile abandoned;
        ASSERT_EQ(abandoned.open(link, messages.sink()), 0);
        abandoned.fail(messages.sink());
    }
    EXPECT_EQ(messages.text(), "Error. Cannot write graph file: " + link + "\n");
    EXPECT_FALSE(test_support::file_exists(target));
    EXPECT_EQ(write_through(link, "through a link\n", messages.sink()), 0);
    EXPECT_EQ(file_bytes(target), "through a link\n");
    EXPECT_EQ(write_through(relative_link, "relative\n", messages.sink()), 0);
    EXPECT_EQ(file_bytes(target), "relative\n");
    struct stat status;
    ASSERT_EQ(lstat(relative_link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    for (const std::string& path : {target, link, relative_link})
        std::remove(path.c_str());
}

TEST(OutputFile, refuses_what_cannot_be_written) {
    std::string loop = scratch_path("loop");
    std::remove(loop.c_str());
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    struct RefusalCase {
        std::string name;
        std::string message;
    };
    const RefusalCase cases[] = {
        {"", "Error. Cannot open graph file: \n"},
        {"/nonexistent/graph", "Error. Cannot open graph file: /nonexistent/graph\n"},
        {"/tmp", "Error. Cannot open graph file: /tmp\n"},
        {loop, "Error. Cannot open graph file: " + loop + "\n"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        OutputFile output;
        test_support::MemoryMessages messages;
        EXPECT_EQ(output.open(c.name, messages.sink()), 1);
        EXPECT_EQ(messages.text(), c.message);
        EXPECT_EQ(output.stream(), nullptr);
    }
    std::remove(loop.c_str());
}

TEST(OutputFile, writes_devices_directly_and_reports_their_failures) {
    test_support::MemoryMessages messages;
    OutputFile null_output;
    ASSERT_EQ(null_output.open("/dev/null", messages.sink()), 0);
    EXPECT_FALSE(null_output.is_replacing());
    EXPECT_EQ(null_output.finish(messages.sink()), 0);
    EXPECT_EQ(messages.text(), "");

    OutputFile full_output;
    ASSERT_EQ(full_output.open("/dev/full", messages.sink()), 0);
    std::fputs("more than nothing\n", full_output.stream());
    EXPECT_EQ(full_output.finish(messages.sink()), 1);
    EXPECT_EQ(messages.text(), "Error. Cannot write graph file: /dev/full\n");
}

// However the writing ends without finish, the target keeps its old content and no
// temporary file is left in its directory; only a failed write is reported.
TEST(OutputFile, an_unfinished_file_leaves_the_old_file_and_no_temporary) {
    std::string directory = scratch_path("dir");
    std::string path = directory + "/graph";
    for (bool is_reported : {true, false}) {
        SCOPED_TRACE(is_reported ? "failed write" : "out of scope");
        ASSERT_EQ(system(("rm -rf " + directory + " && mkdir " + directory).c_str()), 0);
        ASSERT_TRUE(test_support::write_file(path, "old\n"));
        test_support::MemoryMessages messages;
        {
            OutputFile output;
            ASSERT_EQ(output.open(path, messages.sink()), 0);
            EXPECT_TRUE(output.is_replacing());
            std::fputs("new\n", output.stream());
            if (is_reported) output.fail(messages.sink());
        }
        EXPECT_EQ(messages.text(),
                  is_reported ? "Error. Cannot write graph file: " + path + "\n" : "");
        EXPECT_EQ(file_bytes(path), "old\n");
        std::remove(path.c_str());
        // Only an empty directory can be removed: no temporary file is left in it.
        EXPECT_EQ(rmdir(directory.c_str()), 0);
    }
}

}  // namespace
