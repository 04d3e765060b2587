"""The agent's own texts, as the tests expect them byte for byte."""

NOTHING_TO_SEND = ("Chưa có gì để tung",
                   "Clipboard rỗng (hoặc không phải chữ) — copy một đoạn rồi bấm lại.")
SENT = ("Varkel đã tung Sóng Âm", "Nội dung đã bay sang các máy khác.")
NOTHING_FETCHED = ("Chưa thấy mục tiêu nào", "Máy kia chưa gửi gì sang.")
FETCHED = ("Mục tiêu đã bị khoá", "Truy sát ngay nào! Ctrl+V để dán.")
FAILED = "Varkel trượt chân"
UNKNOWN_ERROR = "Không rõ lỗi."
CANNOT_START = "Không chạy được varkel: "
TAKEN_TITLE = "Phím này có người giữ mất rồi"
USAGE = "Thiếu --cli <đường dẫn varkel.js>\n".encode()
LOST_X = "varkel: mất kết nối với máy chủ X\n".encode()

# A text the clipboard held before a press, to show that it is left alone.
KEPT = "Đoạn chữ cũ vẫn còn đây".encode()
