#include "runner/meter_console/help_text.h"

namespace meter_console {

std::vector<std::string> HelpLines() {
  return {
      "lumero-meter: sprawdzenie kabla i miernika Sonel bez programu Lumerovantix.",
      "Najpierw zamknij Lumerovantix: port miernika może mieć otwarty tylko jeden program.",
      "",
      "Użycie:",
      "  lumero-meter ports",
      "      Porty COM wszystkich kabli CP2102, jeden w wierszu: nazwa i ścieżka urządzenia.",
      "      Pierwszy jest oznaczony \"(tego portu użyje program)\".",
      "  lumero-meter read [--count N] [--csv]",
      "      Odpytuje miernik raz na sekundę przez pierwszy port, tak jak program, i wypisuje",
      "      jeden wiersz na odczyt: czas, numer odczytu, natężenie w luksach tak, jak na",
      "      wyświetlaczu (jedno miejsce po przecinku na zakresie 400 lx), zakres i jego kod,",
      "      przeciążenie, surowe wskazanie miernika (raw).",
      "      --count N  kończy po N odczytach (bez tej opcji: po Ctrl-C albo po błędzie)",
      "      --csv      wiersz nagłówka i kolumny rozdzielone przecinkami, kropka dziesiętna",
      "  lumero-meter report [--to FOLDER]",
      "      Zbiera dla pomocy technicznej w jeden plik ZIP log programu, najnowsze zrzuty",
      "      awaryjne i opis komputera (wersje, Windows, kable, miejsce na dysku), zapisuje go",
      "      na Pulpicie albo w folderze FOLDER i wypisuje jego pełną ścieżkę.",
      "  lumero-meter --help",
      "      Ta pomoc.",
      "",
      "Na standardowym wyjściu są tylko odczyty i lista portów. Na wyjściu błędów: zapytania,",
      "na które miernik nie odpowiedział, błędy (teksty programu) i na końcu podsumowanie:",
      "odczyty, zapytania bez odpowiedzi, błędy.",
      "",
      "Kod wyjścia:",
      "  0    gotowe (read: zebrano N odczytów; report: archiwum zapisane)",
      "  1    błąd, na przykład odłączony kabel, port zajęty przez inny program albo",
      "       archiwum raportu, którego nie da się zapisać",
      "  2    nie znaleziono kabla miernika (\"Nie widzę miernika Sonel na USB\")",
      "  64   błędne wywołanie",
      "  130  przerwano przez Ctrl-C",
      "",
      "Początek i koniec każdego uruchomienia zapisuje w dzienniku programu",
      "%LOCALAPPDATA%\\Lumerovantix\\logi\\app.log wierszami \"konsola:\".",
  };
}

}  // namespace meter_console
