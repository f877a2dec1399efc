// FileStatus: the seam's errno values as kinds, the path and the system's reason in the message.
#include "imaging/output/file_status.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace imaging {
namespace {

using Code = base::Status::Code;

TEST(FileStatusTest, EachNumberNamesItsKindAndTheMessageThePathAndTheSystemsReason) {
  EXPECT_TRUE(FileStatus(0, "/out/a.jpg").ok());
  EXPECT_TRUE(FileStatus(0, "/out/a.jpg", "ignored").message().empty());

  const base::Status missing = FileStatus(ENOENT, "/out/a.jpg");
  EXPECT_EQ(missing.code(), Code::kNotFound);
  EXPECT_EQ(missing.message(), std::string("/out/a.jpg: ") + std::strerror(ENOENT));
  EXPECT_EQ(FileStatus(EEXIST, "/out/a.jpg").code(), Code::kAlreadyExists);
  // A link, a read-only disk and a folder in the way are refusals like a permission.
  for (const int refused : {EACCES, EPERM, EROFS, ELOOP, EISDIR}) {
    EXPECT_EQ(FileErrorKind(refused), Code::kAccessDenied) << refused;
  }
  EXPECT_EQ(FileErrorKind(EXDEV), Code::kInvalidArgument);
  EXPECT_EQ(FileErrorKind(EFBIG), Code::kTooLarge);
  EXPECT_EQ(FileErrorKind(ENOMEM), Code::kOutOfMemory);
  EXPECT_EQ(FileErrorKind(EIO), Code::kIoError);
  EXPECT_EQ(FileErrorKind(123456), Code::kIoError);  // a number no table knows
  EXPECT_EQ(FileStatus(ENOENT, "", "gone").message(), "gone");
}

TEST(FileStatusTest, AFullDiskSaysSoBeforeTheSystemsOwnWords) {
  const base::Status full = FileStatus(ENOSPC, "/out/.pictavera-1-2.tmp");
  EXPECT_EQ(full.code(), Code::kIoError);
  EXPECT_EQ(full.message(), std::string("/out/.pictavera-1-2.tmp: disk full (") + std::strerror(ENOSPC) + ")");
  EXPECT_EQ(FileStatus(ENOSPC, "C:/out/a.jpg", "There is not enough space on the disk").message(),
            "C:/out/a.jpg: disk full (There is not enough space on the disk)");
#ifdef EDQUOT
  EXPECT_EQ(FileStatus(EDQUOT, "/home/me/a.jpg").message().find(": disk full ("), std::string("/home/me/a.jpg").size());
#endif
}

}  // namespace
}  // namespace imaging
