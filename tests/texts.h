#pragma once

#include <string_view>

// The agent's texts as the user meets them, byte for byte: the one copy the tests hold. The
// end-to-end tests read this file too, one constant per line; {} marks what is filled in.
namespace texts {
// clang-format off
inline constexpr std::string_view nothingToSendTitle = "Chưa có gì để tung";
inline constexpr std::string_view nothingToSendBody = "Clipboard rỗng (hoặc không phải chữ) — copy một đoạn rồi bấm lại.";
inline constexpr std::string_view sentTitle = "Varkel đã tung Sóng Âm";
inline constexpr std::string_view sentBody = "Nội dung đã bay sang các máy khác.";
inline constexpr std::string_view nothingFetchedTitle = "Chưa thấy mục tiêu nào";
inline constexpr std::string_view nothingFetchedBody = "Máy kia chưa gửi gì sang.";
inline constexpr std::string_view fetchedTitle = "Mục tiêu đã bị khoá";
inline constexpr std::string_view fetchedBody = "Truy sát ngay nào! Ctrl+V để dán.";
inline constexpr std::string_view failedTitle = "Varkel trượt chân";
inline constexpr std::string_view unknownError = "Không rõ lỗi.";
inline constexpr std::string_view cannotStart = "Không chạy được varkel: ";
inline constexpr std::string_view takenTitle = "Phím này có người giữ mất rồi";
inline constexpr std::string_view takenBody = "Ứng dụng khác đang giữ {}. Đổi bằng: varkel hotkeys set";
inline constexpr std::string_view refusedLine = "RegisterEventHotKey lỗi: {}=10";
inline constexpr std::string_view statusLine = "varkel: {} = gửi đi ({}), {} = lấy về ({})";
inline constexpr std::string_view pasteName = "lấy về";
inline constexpr std::string_view usage = "Thiếu --cli <đường dẫn varkel.js>";
inline constexpr std::string_view badShortcut = "Phím tắt không đọc được: ";
inline constexpr std::string_view lostX = "varkel: mất kết nối với máy chủ X";
inline constexpr std::string_view lostWayland = "varkel: mất kết nối với compositor Wayland";
inline constexpr std::string_view bindLine = "varkel: không tự đăng ký được phím {} ({}) trên màn hình này; hãy gán phím đó cho lệnh: {}";
inline constexpr std::string_view noDisplay = "varkel: không mở được màn hình (WAYLAND_DISPLAY chưa được đặt, DISPLAY={}): không mở được màn hình X (DISPLAY={})";
inline constexpr std::string_view noDisplaySet = "varkel: không mở được màn hình (WAYLAND_DISPLAY chưa được đặt, DISPLAY chưa được đặt)";
// clang-format on

}  // namespace texts
