// The console tool's portable logic: its command line, the lines it prints and how a read
// session turns the meter's events into lines, counts and an exit status.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "runner/meter_console/console_arguments.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/read_session.h"

namespace meter_console {
namespace {

using flutter::EncodableMap;
using Lines = std::vector<std::string>;
using ::testing::ElementsAre;

TEST(ConsoleArguments, CommandsOptionsAndRefusals) {
  const auto command = [](const Lines& arguments) {
    const ParsedArguments parsed = ParseArguments(arguments);
    return parsed.ok ? DescribeCommand(parsed.command) : "refused: " + parsed.error;
  };
  EXPECT_EQ(command({"ports"}), "ports");
  EXPECT_EQ(command({"read"}), "read");
  EXPECT_EQ(command({"read", "--csv", "--count", "3"}), "read --count 3 --csv");
  EXPECT_EQ(command({"read", "--count=1000000000"}), "read --count 1000000000");
  EXPECT_EQ(command({"read", "--bogus", "/?"}), "--help") << "help wins wherever it stands";
  EXPECT_EQ(command({"-h"}), "--help");

  EXPECT_EQ(command({"report"}), "report");
  EXPECT_EQ(command({"report", "--to", "D:\\raporty"}), "report --to D:\\raporty");
  EXPECT_EQ(command({"report", "--to=C:\\a\nb"}), "report --to C:\\a?b") << "one log line";

  EXPECT_EQ(command({}), "refused: brak polecenia (ports, read albo report)");
  EXPECT_EQ(command({"report", "--to"}), "refused: --to wymaga folderu");
  EXPECT_EQ(command({"report", "--to="}), "refused: --to wymaga folderu");
  EXPECT_EQ(command({"report", "--csv"}), "refused: nieznana opcja: --csv");
  EXPECT_EQ(command({"raed"}), "refused: nieznane polecenie: raed");
  EXPECT_EQ(command({"ports", "--csv"}), "refused: polecenie ports nie ma opcji: --csv");
  EXPECT_EQ(command({"read", "--bogus"}), "refused: nieznana opcja: --bogus");
  EXPECT_EQ(command({"read", "--count"}), "refused: --count wymaga liczby odczytów");
  for (const std::string count : {"0", "-1", "+3", "3x", "", "1000000001", "99999999999"}) {
    EXPECT_EQ(command({"read", "--count", count}), "refused: niepoprawna liczba odczytów: \"" +
                                                       count + "\" (dozwolone od 1 do 1000000000)");
  }
}

class RecordingOutput : public ConsoleOutput {
 public:
  void Out(const std::string& line) override { out.push_back(line); }
  void Err(const std::string& line) override { err.push_back(line); }
  Lines out;
  Lines err;
};

EncodableMap Reading(int32_t raw, int32_t code, const std::string& label, bool overload,
                     double lux) {
  return {{"typ", "pomiar"}, {"raw", raw}, {"kod", code},      {"zakres", label},
          {"ol", overload},  {"lux", lux}, {"nr", int32_t{7}}, {"t", int64_t{1740920587045}}};
}

// Local time is the platform's; here the millisecond count only shows through.
LocalTime FakeLocalTime(int64_t utcMilliseconds) {
  return {2025, 3, 2, 14, 3, 7, static_cast<uint32_t>(utcMilliseconds % 1000)};
}

struct Session {
  explicit Session(const Lines& arguments)
      : session(ParseArguments(arguments).command, output, FakeLocalTime) {
    session.Begin();
  }
  RecordingOutput output;
  ReadSession session;
};

// Lux as the display shows it: tenths only on the 400 lx range (code 1), the double's rounding
// error hidden; the Polish decimal comma for people, "." in CSV.
TEST(ReadSession, ReadingLinesForPeopleAndForSpreadsheets) {
  const EncodableMap events[] = {
      Reading(1234, 1, "400 lx", false, 1234 * 0.1), Reading(3, 1, "400 lx", true, 3 * 0.1),
      Reading(2345, 2, "4000 lx", false, 2345.0), Reading(2345, 0, "400 klx", true, 234500.0),
      Reading(99, 7, "?07", false, 99.0)};
  Session people({"read"});
  Session csv({"read", "--csv"});
  for (const EncodableMap& event : events) {
    people.session.OnEvent(event);
    csv.session.OnEvent(event);
  }
  const std::string time = "2025-03-02 14:03:07.045";
  EXPECT_THAT(
      people.output.out,
      ElementsAre(time + "  nr 7  123,4 lx  zakres 400 lx (kod 1)  przeciążenie: nie  raw 1234",
                  time + "  nr 7  0,3 lx  zakres 400 lx (kod 1)  przeciążenie: tak  raw 3",
                  time + "  nr 7  2345 lx  zakres 4000 lx (kod 2)  przeciążenie: nie  raw 2345",
                  time + "  nr 7  234500 lx  zakres 400 klx (kod 0)  przeciążenie: tak  raw 2345",
                  time + "  nr 7  99 lx  zakres ?07 (kod 7)  przeciążenie: nie  raw 99"));
  EXPECT_THAT(
      csv.output.out,
      ElementsAre("czas,nr,lux,zakres,kod,przeciazenie,raw", time + ",7,123.4,400 lx,1,0,1234",
                  time + ",7,0.3,400 lx,1,1,3", time + ",7,2345,4000 lx,2,0,2345",
                  time + ",7,234500,400 klx,0,1,2345", time + ",7,99,?07,7,0,99"));
  EXPECT_FALSE(people.session.Ended()) << "without --count only Ctrl-C or an error ends it";
}

// Only readings count towards --count; unanswered polls go to standard error; once ended,
// later events and Ctrl-C change nothing.
TEST(ReadSession, EndsAfterTheReadingsAskedFor) {
  Session run({"read", "--count", "2"});
  const EncodableMap reading = Reading(1234, 1, "400 lx", false, 123.4);
  run.session.OnEvent({{"typ", "stan"}, {"podlaczony", true}});
  run.session.OnEvent(reading);
  run.session.OnEvent({{"typ", "brak"}, {"t", int64_t{1740920588321}}});
  EXPECT_FALSE(run.session.Ended());
  run.session.OnEvent(reading);
  ASSERT_TRUE(run.session.Ended());
  run.session.OnEvent(reading);
  run.session.OnEvent({{"typ", "blad"}, {"tekst", "Miernik odłączony"}});
  run.session.Interrupt();
  EXPECT_EQ(run.output.out.size(), 2u);
  EXPECT_EQ(run.session.Finish(), kExitOk);
  EXPECT_THAT(run.output.err,
              ElementsAre("2025-03-02 14:03:07.321  brak odpowiedzi miernika na zapytanie",
                          "podsumowanie: odczyty 2, bez odpowiedzi 1, błędy 0"));
}

// An error prints the meter link's own text and ends the run: status 1, or 2 when the start
// found no cable; Ctrl-C ends it with 130.
TEST(ReadSession, ErrorsNoCableAndCtrlC) {
  const EncodableMap pulled{{"typ", "blad"}, {"tekst", "Miernik odłączony"}};
  Session error({"read", "--count", "5"});
  error.session.OnEvent(Reading(1234, 1, "400 lx", false, 123.4));
  error.session.OnEvent(pulled);
  EXPECT_EQ(error.session.Finish(), kExitError);
  EXPECT_THAT(error.output.err, ElementsAre("Miernik odłączony",
                                            "podsumowanie: odczyty 1, bez odpowiedzi 0, błędy 1"));

  Session noCable({"read"});
  noCable.session.ExpectNoCable();
  noCable.session.OnEvent({{"typ", "blad"}, {"tekst", "Nie widzę miernika Sonel na USB"}});
  EXPECT_EQ(noCable.session.Finish(), kExitNoCable);
  EXPECT_EQ(noCable.output.err.front(), "Nie widzę miernika Sonel na USB");

  Session interrupted({"read", "--csv"});
  interrupted.session.Interrupt();
  interrupted.session.OnEvent(pulled);
  EXPECT_EQ(interrupted.session.Finish(), kExitInterrupted);
  EXPECT_THAT(interrupted.output.err,
              ElementsAre("podsumowanie: odczyty 0, bez odpowiedzi 0, błędy 0"));
}

}  // namespace
}  // namespace meter_console
