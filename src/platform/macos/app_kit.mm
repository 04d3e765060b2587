#include "platform/macos/app_kit.h"

#import <AppKit/AppKit.h>

void becomeAccessoryApplication() {
  [[NSApplication sharedApplication] setActivationPolicy:NSApplicationActivationPolicyAccessory];
}

void runApplication() {
  [[NSApplication sharedApplication] run];
}

// Each access has its own pool: what it allocates is freed at once, whether
// the caller runs inside the application loop or not.
std::optional<std::string> MacPasteboard::readText() {
  @autoreleasepool {
    NSString* text = [[NSPasteboard generalPasteboard] stringForType:NSPasteboardTypeString];
    if (text == nil) return std::nullopt;
    // Lossy only for lone UTF-16 surrogates, which UTF-8 cannot carry.
    NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
    return std::string(static_cast<const char*>(bytes.bytes), bytes.length);
  }
}

void MacPasteboard::clearContents() {
  @autoreleasepool {
    [[NSPasteboard generalPasteboard] clearContents];
  }
}

void MacPasteboard::setString(std::string text) {
  @autoreleasepool {
    NSString* string = [[NSString alloc] initWithBytes:text.data()
                                                length:text.size()
                                              encoding:NSUTF8StringEncoding];
    if (string != nil) {
      [[NSPasteboard generalPasteboard] setString:string forType:NSPasteboardTypeString];
    }
  }
}
