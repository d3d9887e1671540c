#pragma once
// Texts a visitor reads in more than one place, on the pages and in the
// handler's replies, written once. The edge's refusals stay with the edge,
// which reaches nothing else of the service.

namespace service {

inline constexpr const char* kBoardTitle = "Skor Tablosu";
inline constexpr const char* kUnavailableText =
    "Skor veritabanına şu an ulaşılamıyor. Lütfen daha sonra tekrar deneyin.";
inline constexpr const char* kScoreNote =
    "Skor, çalışmanın saniye cinsinden süresinin 3,5 katıdır; düşük skor daha iyidir.";
inline constexpr const char* kMissingResult = "Sonuç bulunamadı";
inline constexpr const char* kProcessorsTitle = "İşlemciler";

} // namespace service
