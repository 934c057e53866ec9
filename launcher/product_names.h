// The names the launcher shows and builds paths from.
#pragma once

inline constexpr const wchar_t c_szCompanyName[] = L"Corvane";
inline constexpr const wchar_t c_szProductName[] = L"Lumenix";
