/* What the DLL's entry point does with a loader notification, decided before
 * any code built for SSE2 may run.  Plain C with no OS header, so that it
 * can be compiled both into the entry point (built without SSE2) and into the
 * tests on any platform. */
#ifndef CONTROLLER_PLATFORM_WIN32_ATTACH_CHECK_H
#define CONTROLLER_PLATFORM_WIN32_ATTACH_CHECK_H

enum AttachAction {
  kAttachForward, /* hand the notification to the C runtime's entry point */
  kAttachRefuse,  /* answer FALSE: the processor cannot run the module */
  kAttachIgnore   /* answer TRUE and do nothing: the runtime never started */
};

/* reason: the loader's notification (process attach is 1); sse2_present:
 * IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE); *refused:
 * kept by the caller between notifications, set when an attach is refused.
 * After a refused attach the loader still sends process detach, which must
 * not reach a runtime that never started. */
static inline enum AttachAction DecideAttach(unsigned long reason, int sse2_present, int* refused) {
  if (*refused) return kAttachIgnore;
  if (reason == 1ul && !sse2_present) {
    *refused = 1;
    return kAttachRefuse;
  }
  return kAttachForward;
}

#endif
