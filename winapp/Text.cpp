#include "winapp/Text.h"

#include <windows.h>

namespace brindle::winapp {

std::wstring DecodeText(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return FromBytes(text);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return wide;
}

std::wstring FromBytes(const std::string& bytes) {
  std::wstring wide;
  wide.reserve(bytes.size());
  for (const char byte : bytes)
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  return wide;
}

std::string ToBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const wchar_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return bytes;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
  }
  return utf8;
}

}  // namespace brindle::winapp
