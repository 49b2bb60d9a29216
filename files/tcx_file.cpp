#include "files/tcx_file.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "files/session_laps.h"
#include "util/text.h"
#include "util/version.h"

namespace {

// An instant as the format's UTC date and time, to the millisecond.
std::string UtcText(double unixTime)
{
    double whole = std::floor(unixTime);
    int ms = int(std::lround((unixTime - whole) * 1000));
    if (ms >= 1000) {
        whole += 1;
        ms -= 1000;
    }
    const std::time_t secs = std::time_t(whole);
    std::tm utc{};
    gmtime_r(&secs, &utc);
    return Format("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                  utc.tm_min, utc.tm_sec, ms);
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            // Control characters other than tab and line ends are not allowed in XML.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
        }
    }
    return out;
}

// A heart rate element; the format allows 1..255.
std::string HeartRate(const char* element, double bpm, const char* indent)
{
    const long v = std::lround(bpm);
    if (v < 1) return {};
    return Format("%s<%s><Value>%ld</Value></%s>\n", indent, element, std::min(v, 255L), element);
}

// The format's cadence is 0..254.
long Cadence(double rate) { return std::clamp(std::lround(rate), 0L, 254L); }
long Watts(double power) { return std::clamp(std::lround(power), 0L, 65535L); }

std::string Version(const char* indent)
{
    const uint32_t v = ProgramVersion();
    return Format(
        "%s<Version>\n%s  <VersionMajor>%u</VersionMajor>\n%s  <VersionMinor>%u</VersionMinor>\n"
        "%s  <BuildMajor>%u</BuildMajor>\n%s  <BuildMinor>%u</BuildMinor>\n%s</Version>\n",
        indent, indent, v >> 24, indent, (v >> 16) & 0xFF, indent, (v >> 8) & 0xFF, indent, v & 0xFF, indent);
}

}  // namespace

std::string TcxFileText(const TTraining& t)
{
    const double start = ExportStartUnix(t);
    const std::string product = VersionString("ProductName");
    std::string x;
    x.reserve(size_t(ExportedStrokes(t)) * 420 + 4096);
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<TrainingCenterDatabase xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\"\n"
         "  xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
         "  xmlns:ns3=\"http://www.garmin.com/xmlschemas/ActivityExtension/v2\"\n"
         "  xsi:schemaLocation=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2 "
         "http://www.garmin.com/xmlschemas/TrainingCenterDatabasev2.xsd\">\n";
    x += "  <Activities>\n    <Activity Sport=\"Other\">\n";
    x += "      <Id>" + UtcText(start) + "</Id>\n";
    const std::vector<TLapSummary> laps = ExportLaps(t);
    for (size_t l = 0; l < laps.size(); ++l) {
        const TLapSummary& lap = laps[l];
        const bool last = l + 1 == laps.size();
        const char* trigger = last                         ? "Manual"
                              : lap.Split                  ? "Distance"
                              : t.Settings.IntervalBy == 3 ? "Time"
                              : t.Settings.IntervalBy == 2 ? "Distance"
                                                           : "Manual";
        x += "      <Lap StartTime=\"" + UtcText(start + lap.StartTime) + "\">\n";
        x += "        <TotalTimeSeconds>" + DecimalText(lap.Duration(), 3) + "</TotalTimeSeconds>\n";
        x += "        <DistanceMeters>" + DecimalText(lap.Distance, 2) + "</DistanceMeters>\n";
        x += "        <MaximumSpeed>" + DecimalText(lap.MaxSpeed, 3) + "</MaximumSpeed>\n";
        x += Format("        <Calories>%ld</Calories>\n",
                    std::clamp(std::lround(RowingCalories(lap.Energy, lap.Duration())), 0L, 65535L));
        x += HeartRate("AverageHeartRateBpm", lap.AvgHeartRate, "        ");
        x += HeartRate("MaximumHeartRateBpm", lap.MaxHeartRate, "        ");
        x += std::string("        <Intensity>") + (lap.Rest ? "Resting" : "Active") + "</Intensity>\n";
        x += Format("        <Cadence>%ld</Cadence>\n", Cadence(lap.AvgRate));
        x += std::string("        <TriggerMethod>") + trigger + "</TriggerMethod>\n";
        x += "        <Track>\n";
        for (int k = lap.First; k <= lap.Last; ++k) {
            const TStgStrokeData& s = t.Strokes[size_t(k)];
            x += "          <Trackpoint>\n";
            x += "            <Time>" + UtcText(start + double(s.Time)) + "</Time>\n";
            x += "            <DistanceMeters>" + ShortestText(s.Distance) + "</DistanceMeters>\n";
            x += HeartRate("HeartRateBpm", s.Pulse, "            ");
            x += Format("            <Cadence>%ld</Cadence>\n", Cadence(s.StrokeRate));
            x += "            <Extensions>\n              <ns3:TPX>\n";
            x += "                <ns3:Speed>" + DecimalText(StrokeSpeed(s), 3) + "</ns3:Speed>\n";
            x += Format("                <ns3:Watts>%ld</ns3:Watts>\n", Watts(s.Power));
            x += "              </ns3:TPX>\n            </Extensions>\n";
            x += "          </Trackpoint>\n";
        }
        x += "        </Track>\n";
        x += "        <Extensions>\n          <ns3:LX>\n";
        x += "            <ns3:AvgSpeed>" + DecimalText(lap.AvgSpeed, 3) + "</ns3:AvgSpeed>\n";
        x += Format("            <ns3:Steps>%d</ns3:Steps>\n", std::min(lap.Strokes, 65535));
        x += Format("            <ns3:AvgWatts>%ld</ns3:AvgWatts>\n", Watts(lap.AvgPower));
        x += Format("            <ns3:MaxWatts>%ld</ns3:MaxWatts>\n", Watts(lap.MaxPower));
        x += "          </ns3:LX>\n        </Extensions>\n";
        x += "      </Lap>\n";
    }
    std::string notes = "Indoor rowing";
    const std::string title = t.Header.Title.Text();
    if (!title.empty()) notes += ": " + title;
    x += "      <Notes>" + Escaped(notes) + "</Notes>\n";
    x += "      <Creator xsi:type=\"Device_t\">\n";
    x += "        <Name>" + Escaped(product) + "</Name>\n";
    x += "        <UnitId>0</UnitId>\n        <ProductID>0</ProductID>\n";
    x += Version("        ");
    x += "      </Creator>\n";
    x += "    </Activity>\n  </Activities>\n";
    x += "  <Author xsi:type=\"Application_t\">\n";
    x += "    <Name>" + Escaped(product) + "</Name>\n";
    x += "    <Build>\n" + Version("      ") + "    </Build>\n";
    x += "    <LangID>en</LangID>\n    <PartNumber>000-00000-00</PartNumber>\n";
    x += "  </Author>\n";
    x += "</TrainingCenterDatabase>\n";
    return x;
}
