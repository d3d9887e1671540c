#pragma once

#include <string>

// The status texts as the user must see them, spelled once for every test; written here, not
// taken from the product, so that a changed text in the product fails the tests.
namespace testsupport::texts {

inline const std::string kAccepted = "✅ ";
inline const std::string kAcceptedFallback = "✅ Skor başarıyla gönderildi!";
inline const std::string kRefused = "❌ Hata: ";
inline const std::string kRefusedFallback = "❌ Hata: Bilinmeyen Sunucu Hatası";
inline const std::string kConnectionFailure =
    "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin.";

} // namespace testsupport::texts
