// The Windows entry point's decision on each loader notification, before any
// code built for SSE2 runs (the entry point itself is built without it).
#include "platform/win32/attach_check.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned long kProcessDetach = 0, kProcessAttach = 1, kThreadAttach = 2,
                        kThreadDetach = 3;

TEST(AttachCheck, WithSse2EveryNotificationGoesToTheRuntime) {
  int refused = 0;
  for (unsigned long reason : {kProcessAttach, kThreadAttach, kThreadDetach, kProcessDetach}) {
    EXPECT_EQ(DecideAttach(reason, 1, &refused), kAttachForward) << reason;
  }
  EXPECT_EQ(refused, 0);
}

TEST(AttachCheck, WithoutSse2TheAttachIsRefusedAndTheDetachThatFollowsIgnored) {
  int refused = 0;
  EXPECT_EQ(DecideAttach(kProcessAttach, 0, &refused), kAttachRefuse);
  EXPECT_EQ(refused, 1);
  // The loader sends process detach after a refused attach: the runtime
  // never started, so nothing of it may run.
  EXPECT_EQ(DecideAttach(kProcessDetach, 0, &refused), kAttachIgnore);
  EXPECT_EQ(DecideAttach(kThreadAttach, 0, &refused), kAttachIgnore);
}

}  // namespace
