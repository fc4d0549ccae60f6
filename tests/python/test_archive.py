"""ZIP and RAR extraction: password callbacks and the report of members not extracted."""
import zipfile

import pytest

import svregistration
from svregistration import RAR, ZIP


def test_zip_extracts_every_member_or_the_selected_ones(tmp_path):
    archive = tmp_path / "src.zip"
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("cobol/PAY.cbl", "       PROCEDURE DIVISION.\n")
        z.writestr("copy/REC.cpy", "       01 REC.\n")
    result = ZIP.extract(archive, tmp_path / "all")
    assert result and result.ok and result.not_extracted == []
    assert (tmp_path / "all" / "cobol" / "PAY.cbl").read_text() == "       PROCEDURE DIVISION.\n"
    ZIP.extract(archive, tmp_path / "some", "*.cpy")
    assert [p.name for p in (tmp_path / "some").rglob("*") if p.is_file()] == ["REC.cpy"]


@pytest.mark.parametrize("extract, kind", [(ZIP.extract, "zip"), (RAR.extract, "RAR")])
def test_missing_and_foreign_archives_raise(tmp_path, extract, kind):
    with pytest.raises(svregistration.Error) as missing:
        extract(tmp_path / "none", tmp_path / "out")
    assert missing.value.number == 53 and "no such archive" in missing.value.description
    text = tmp_path / "text.txt"
    text.write_text("not an archive at all\n" * 10)
    with pytest.raises(svregistration.Error) as foreign:
        extract(text, tmp_path / "out")
    assert foreign.value.number == 321 and f"not a {kind} archive" in foreign.value.description


def test_zip_password_callback_is_asked_for_a_member_and_told_a_wrong_answer(fixtures, tmp_path):
    asked = []

    def password(request):
        asked.append((request.archive, request.member, request.last_was_wrong))
        return "wrong" if len(asked) == 1 else "12345678"

    archive = fixtures / "zip" / "test_read_format_zip_traditional_encryption_data.zip"
    result = ZIP.extract(archive, tmp_path, password=password)
    assert result and result.extracted == result.selected == 2
    assert asked[0][0] == str(archive) and asked[0][2] is False and asked[1][2] is True
    assert (tmp_path / "bar.txt").read_text().startswith("a" * 54 + "\n")


def test_rar_members_a_password_does_not_open_are_reported(fixtures, tmp_path):
    # b.txt takes "password", d.txt "password2": one answer opens b.txt only.
    archive = fixtures / "rar" / "test_read_format_rar5_encrypted.rar"
    result = RAR.extract(archive, tmp_path, password="password")
    assert not result and (result.extracted, result.selected) == (3, 4)
    assert [name for name, _ in result.not_extracted] == ["d.txt"]
    assert result.not_extracted[0][1]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.txt", "b.txt", "c.txt"]


def test_an_exception_in_the_password_callback_is_raised_after_the_extraction(fixtures, tmp_path):
    def password(prompt):
        raise KeyError("no password here")

    archive = fixtures / "rar" / "test_read_format_rar5_encrypted.rar"
    with pytest.raises(KeyError):
        RAR.extract(archive, tmp_path, password=password)
    assert (tmp_path / "a.txt").exists() and not (tmp_path / "b.txt").exists()
