// GNUstep's AppKit, plus what Apple's AppKit has and GNUstep's lacks, declared
// as Apple declares it.
#pragma once
#include_next <AppKit/AppKit.h>

@interface NSApplication (AppleOnly)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
@end

@interface NSPasteboard (AppleOnly)
- (NSInteger)clearContents;
@end
