// Message texts and captions of regsolo that more than one window uses. Every
// message of the program carries its number (100..120) in its text or caption:
// 118 to 120 are its own additions (a port gone, a port byte of KVL.dfg out of
// range, a typed value refused).
#pragma once

namespace kvl::solo::msg {

constexpr const char* kError = "Error";
constexpr const char* kWarning = "Предупреждение";
constexpr const char* kErrorSvjac = "ErrorSvjac";

constexpr const char* kNoLink100 = "Нет связи.Ошибка100";
constexpr const char* kNoLink102 = "Нет связи.Ошибка102";
constexpr const char* kNoLink106 = "Нет связи.Ошибка106";
constexpr const char* kChannel106 = "Уточните номер канала.Ошибка106";
constexpr const char* kPortClosed = "Порт закрыт";
constexpr const char* kOpenFailed108 = ".Ошибка108";
constexpr const char* kOpenFailed109 = ".Ошибка109";
constexpr const char* kRetry = "Повторите операцию.";
constexpr const char* kReadError110 = ".Ошибка110";  // caption of "ERROR_IO_PENDING"
// 118: the port has gone away (adapter pulled); the text is "Порт COM1" and this.
constexpr const char* kDisconnected118 = " отключен.Ошибка118";
// 120: a typed value outside what the regulator can take; nothing is sent. The
// texts are the network programs' words, the number is in the caption.
constexpr const char* kRefused120 = ".Ошибка120";
constexpr const char* kNewAddress = "Номер сети вне допустимого диапазона(0-254)";
constexpr const char* kOffset = "Смещение вне допустимого диапазона(0-65535)";

}  // namespace kvl::solo::msg
