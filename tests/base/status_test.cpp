// Status and StatusOr: the text a log line gets, context added in front, a value or its absence.
#include "base/status.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(StatusTest, OkCarriesNoTextAndFailuresNameTheirKindAndContext) {
  EXPECT_TRUE(Status().ok());
  EXPECT_EQ(Status::Ok().ToString(), "ok");
  EXPECT_EQ(Status::Ok().WithContext("sheet 1").ToString(), "ok");

  Status missing = Status::NotFound("/home/me/a.jpg");
  EXPECT_FALSE(missing.ok());
  EXPECT_TRUE(missing.Is(Status::Code::kNotFound));
  EXPECT_EQ(missing.ToString(), "not found: /home/me/a.jpg");
  EXPECT_EQ(missing.WithContext("photo 3").ToString(), "not found: photo 3: /home/me/a.jpg");
  EXPECT_EQ(Status::Corrupt("").ToString(), "damaged data");
  EXPECT_EQ(Status::AlreadyExists("/out/a.pdf").ToString(), "already exists: /out/a.pdf");
  EXPECT_EQ(Status::IoError("").WithContext("sheet 2").message(), "sheet 2");
}

TEST(StatusTest, StatusOrHoldsAValueOrAFailureNeverAnOkWithoutValue) {
  StatusOr<int> seven = 7;
  ASSERT_TRUE(seven.ok());
  EXPECT_EQ(*seven, 7);
  EXPECT_TRUE(seven.status().ok());

  StatusOr<int> refused = Status::TooLarge("16000 x 16000");
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().code(), Status::Code::kTooLarge);

  StatusOr<int> empty = Status::Ok();  // a caller's slip: still not ok, never an empty value read as one
  EXPECT_FALSE(empty.ok());
  EXPECT_EQ(empty.status().code(), Status::Code::kFailed);
}

}  // namespace
}  // namespace base
