// The texts of messages 500 to 512, word for word, in the three languages.
#include "resources/message_catalogue.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace svregistration::resources {

namespace {

struct Message {
  int id;
  const char* english;
  const char* japanese;
  const char* korean;
};

constexpr std::array<Message, 13> kMessages = {{
    {500, "Refresh Source", "ソースの更新", "소스 새로 고치기"},
    {501, "Can not create directory: '%1'", "ディレクトリーを作成できません:「%1」",
     "다음 디렉토리를 작성할 수 없음: '%1'"},
    {502, "Original source file not found", "元のソース・ファイルが見つかりません。",
     "원래 소스 파일을 찾을 수 없음"},
    {503, "Unexpected error. rc = %1", "予期しないエラー。rc = %1", "예상치 않은 오류. rc = %1"},
    {504, "Refresh sources", "ソースの更新", "소스 새로 고치기"},
    {505, "Invalidate", "無効化", "유효하지 않게함"},
    {506, "Registration", "登録", "등록"},
    {507, "Incorrect Registration page in the Workspace Options set",
     "ワークスペース・オプションで正しくない登録ページが設定されました",
     "작업공간 옵션에 올바르지 않은 등록 페이지가 설정됨"},
    {508, "Wrong encoding workspace option. Required %1 locale %2 is not supported",
     "不正なエンコード・ワークスペース・オプションです。必要な %1 ロケール %2 "
     "がサポートされていません",
     "인코딩 작업공간 옵션이 잘못되었습니다. %1이(가) 필요하며 %2 로케일은 지원되지 않습니다. "},
    {509, "Unable to copy file from %1 to %2", "%1 から %2 にファイルをコピーできません",
     "%1에서 %2(으)로 파일을 복사할 수 없음"},
    {510, "Unregister", "登録抹消", "등록 취소"},
    {511, "Object '%1' of type '%2' has been unregistered successfully",
     "タイプ「%2」のオブジェクト「%1」が正常に登録抹消されました",
     "'%2' 유형의 '%1' 오브젝트가 등록 취소됨"},
    {512, "Original source file not known", "元のソース・ファイルが不明です",
     "원래 소스 파일을 알 수 없음"},
}};

const char* FirstSetVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

Language CurrentLanguage() {
  std::string_view locale = FirstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"});
  if (locale.substr(0, 2) == "ja") return Language::kJapanese;
  if (locale.substr(0, 2) == "ko") return Language::kKorean;
  return Language::kEnglish;
}

std::string LoadMessage(int id) { return LoadMessage(id, CurrentLanguage()); }

std::string LoadMessage(int id, Language language) {
  for (const Message& message : kMessages) {
    if (message.id != id) continue;
    switch (language) {
      case Language::kJapanese:
        return message.japanese;
      case Language::kKorean:
        return message.korean;
      case Language::kEnglish:
        return message.english;
    }
  }
  return "";
}

}  // namespace svregistration::resources
