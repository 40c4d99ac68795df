#include "tag/savefailuretext.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using files::WriteFailure;
using files::WriteResult;
using files::WriteStep;

WriteResult failure(WriteFailure kind, WriteStep step, int err, bool writeOnly = false,
                    bool restored = true) {
    WriteResult r;
    r.failure = kind;
    r.step = step;
    r.systemError = err;
    r.writeOnly = writeOnly;
    r.restored = restored;
    return r;
}

// The file layer's codes become the words the user reads; the cases that a
// code alone cannot tell apart are the ones that matter.
TEST(SaveFailureReason, WordsEachCode) {
    struct Case {
        const char* name;
        WriteResult result;
        QString text;
    };
    const Case cases[] = {
        {"marked read-only", failure(WriteFailure::Denied, WriteStep::Find, 0),
         "The file is read-only."},
        {"folder not reachable", failure(WriteFailure::Denied, WriteStep::Find, EACCES),
         "Permission to reach the file was denied."},
        {"write-only", failure(WriteFailure::Denied, WriteStep::Open, EACCES, true),
         "Brindlo may write this file but not read it, so it cannot find the old tag."},
        {"read-only disk", failure(WriteFailure::Denied, WriteStep::Open, EROFS),
         "The file is on a read-only disk."},
        {"in use", failure(WriteFailure::Denied, WriteStep::Open, EAGAIN), "The file is in use."},
        {"locked", failure(WriteFailure::Denied, WriteStep::Write, EAGAIN), "The file is locked."},
        {"disk full", failure(WriteFailure::NoSpace, WriteStep::Write, ENOSPC),
         "The disk is full."},
        {"size limit", failure(WriteFailure::NoSpace, WriteStep::Write, EFBIG),
         "The file would grow beyond the largest size allowed."},
        {"grew meanwhile", failure(WriteFailure::Changed, WriteStep::Write, 0),
         "Another program was adding to the file at the same moment. "
         "Try again when it has finished."},
        {"flush failed", failure(WriteFailure::Io, WriteStep::Flush, EIO),
         "The tag could not be saved to the disk (Input/output error)."},
        {"not undone", failure(WriteFailure::NoSpace, WriteStep::Write, ENOSPC, false, false),
         "The disk is full. The file could not be put back as it was."},
        {"saved", WriteResult{true}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tag::saveFailureReason(c.result), c.text) << c.name;
}

} // namespace
