// What a client of the module expects to see on Windows, beyond the
// platform-neutral tests/common/expected_definition.h (identity texts,
// catalogue, limit table): the identifiers as the platform's structures, the
// program identifier and the files beside the test program. Written out here
// on their own rather than taken from the module's sources.
#pragma once

#include "tests/common/expected_definition.h"

#include <windows.h>

namespace expected {

// {68A285B0-5582-4720-A801-BFCEF626BBD6}
inline constexpr CLSID kClsid = {
    0x68A285B0, 0x5582, 0x4720, {0xA8, 0x01, 0xBF, 0xCE, 0xF6, 0x26, 0xBB, 0xD6}};
// {0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}
inline constexpr IID kDefaultIid = {
    0x0190584F, 0x0F1B, 0x4C7F, {0x87, 0xAD, 0x8B, 0xD5, 0x1D, 0x2E, 0x8B, 0x4E}};
// {89078C47-AB89-11D3-B1BC-00C04F794409}
inline constexpr IID kServerIid = {
    0x89078C47, 0xAB89, 0x11D3, {0xB1, 0xBC, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09}};
// {CC0FE54A-F447-4D79-AD4D-90F94C59B003}
inline constexpr GUID kLibid = {
    0xCC0FE54A, 0xF447, 0x4D79, {0xAD, 0x4D, 0x90, 0xF9, 0x4C, 0x59, 0xB0, 0x03}};
// {A966A13A-FD2F-11D2-BF83-00C04F794409}, version 34.2
inline constexpr GUID kHostLibid = {
    0xA966A13A, 0xFD2F, 0x11D2, {0xBF, 0x83, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09}};
inline constexpr WORD kHostLibMajor = 34;
inline constexpr WORD kHostLibMinor = 2;
// The automation runtime's collection interface {A4C46780-499F-101B-BB78-00AA00383CBB}.
inline constexpr IID kCollectionIid = {
    0xA4C46780, 0x499F, 0x101B, {0xBB, 0x78, 0x00, 0xAA, 0x00, 0x38, 0x3C, 0xBB}};

inline constexpr const wchar_t* kClsidText = L"{68A285B0-5582-4720-A801-BFCEF626BBD6}";
inline constexpr const wchar_t* kProgId = L"TivOrvantaZNA100.CTivOrvantaZNA100";
inline constexpr const wchar_t* kModuleFile = L"TivOrvantaZNA100.dll";
inline constexpr const wchar_t* kHostLibraryFile = L"TivDefn.tlb";

}  // namespace expected
