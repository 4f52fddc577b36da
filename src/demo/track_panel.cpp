#include "demo/track_panel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <string>

#include "geo/track_statistics.h"
#include "geo/track_text.h"
#include "graphics/track_profile_widget.h"
#include "map/map_control.h"
#include "map/track_profile_link.h"
#include "shapes/shape_line.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::string TrackTitle(const TTrack& t, size_t index) {
  return t.Name.empty() ? "Track " + std::to_string(index + 1) : t.Name;
}

// "12.4 km  +830 m  4 h 12 min" for the list.
std::string MainFigures(const TTrackStats& s) {
  std::string text = DistanceText(s.DistanceM);
  if (s.HasElevation) text += "  +" + ElevationText(s.AscentM);
  if (s.HasTime && s.DurationS > 0) text += "  " + DurationText(s.DurationS);
  return text;
}

// The figures a line each, "no time" / "no elevation" where there are none.
std::string AllFigures(const TTrackStats& s) {
  std::string text = "Distance " + DistanceText(s.DistanceM) + "\n";
  if (s.HasElevation)
    text += "Ascent " + ElevationText(s.AscentM) + ", descent " + ElevationText(s.DescentM) +
            "\nElevation " + ElevationText(s.MinEleM) + " to " + ElevationText(s.MaxEleM) + "\n";
  else
    text += "no elevation\n";
  if (s.HasTime) {
    text += "Duration " + DurationText(s.DurationS) + ", moving " + DurationText(s.MovingS);
    if (!std::isnan(s.AvgSpeedMs)) text += "\nAverage " + SpeedText(s.AvgSpeedMs);
    if (!std::isnan(s.MaxSpeedMs)) text += ", top " + SpeedText(s.MaxSpeedMs);
  } else {
    text += "no time";
  }
  return text;
}

}  // namespace

TTrackPanel::TTrackPanel(TWyVuroduDav* map, QWidget* parent) : QWidget(parent) {
  setFixedHeight(250);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 4, 4, 4);
  auto* left = new QVBoxLayout();
  FList = new QListWidget(this);
  FList->setFixedWidth(260);
  FList->setFixedHeight(64);
  FList->setAccessibleName("Tracks");
  left->addWidget(FList);
  FFigures = new QLabel(this);
  FFigures->setFixedWidth(260);
  FFigures->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
  left->addWidget(FFigures, 1);
  auto* switches = new QHBoxLayout();
  FSpeed = new QCheckBox("Speed", this);
  FTime = new QCheckBox("Against time", this);
  switches->addWidget(FSpeed);
  switches->addWidget(FTime);
  left->addLayout(switches);
  FFetch = new QPushButton("Fetch elevations", this);
  FFetch->setToolTip("Asks the elevation service for the heights of this track's points");
  left->addWidget(FFetch);
  row->addLayout(left);
  FProfile = new TTrackProfileWidget(this);
  row->addWidget(FProfile, 1);
  FLink = std::make_unique<TTrackProfileLink>(map, FProfile);
  FLink->OnChange = [this] { ShowFigures(); };
  connect(FList, &QListWidget::currentRowChanged, this, [this](int row) {
    FNote.clear();
    Choose(row);
  });
  connect(FSpeed, &QCheckBox::toggled, this, [this](bool on) { FProfile->SetShowSpeed(on); });
  connect(FFetch, &QPushButton::clicked, this, [this] { FetchElevations(); });
  connect(FTime, &QCheckBox::toggled, this,
          [this](bool on) { FProfile->SetAxis(on ? paTime : paDistance); });
  hide();
}

TTrackPanel::~TTrackPanel() = default;

void TTrackPanel::ShowTracks(const std::vector<TWyShapes*>& groups) {
  Clear();
  for (TWyShapes* group : groups)
    for (TLineTrack& t : TracksFromLines(*group)) FTracks.push_back(std::move(t));
  if (FTracks.empty()) return;
  {
    const QSignalBlocker quiet(FList);
    for (size_t i = 0; i < FTracks.size(); ++i) {
      const TTrackStats s = TrackStatistics(FTracks[i].Track);
      FList->addItem(Q(TrackTitle(FTracks[i].Track, i) + "\n" + MainFigures(s)));
    }
  }
  show();
  FList->setCurrentRow(0);
}

void TTrackPanel::Clear() {
  FCancelFetch = true;  // a fetch running for these tracks stops
  FNote.clear();
  {
    const QSignalBlocker quiet(FList);
    FList->clear();
  }
  FTracks.clear();
  FChosen = -1;
  FLink->Clear();
  FFigures->clear();
  hide();
}

void TTrackPanel::Choose(int index) {
  if (index < 0 || index >= TrackCount()) return;
  FChosen = index;
  if (FList->currentRow() != index) FList->setCurrentRow(index);
  FLink->SetTrack(FTracks[static_cast<size_t>(index)]);
  const bool timed = FProfile->Profile().HasTime();
  FSpeed->setEnabled(timed);
  FTime->setEnabled(timed);
  FProfile->SetShowSpeed(timed && FSpeed->isChecked());
  FProfile->SetAxis(timed && FTime->isChecked() ? paTime : paDistance);
  // Offered while a point lacks its elevation (a cancelled fetch resumes;
  // the answers already received come from the cache).
  bool missing = false;
  for (const TTrackPoint& p : FTracks[static_cast<size_t>(index)].Track.Points)
    missing = missing || !p.HasEle();
  FFetch->setVisible(FFetching || (missing && FProfile->Profile().Count() >= 2));
  ShowFigures();
}

void TTrackPanel::ShowFigures() {
  const TTrackProfilePainter& p = FProfile->Profile();
  if (FChosen < 0) return;
  std::string text = AllFigures(p.Statistics());
  if (p.HasSelection()) text += "\n\nSelection\n" + AllFigures(p.SelectionStatistics());
  if (!FNote.empty()) text += "\n" + FNote;
  FFigures->setText(Q(text));
}

// The line's own batched, paced and cached requests (getAltitudes); the
// window keeps working meanwhile, and this button cancels.
void TTrackPanel::FetchElevations() {
  if (FFetching) {
    FCancelFetch = true;
    return;
  }
  if (FChosen < 0) return;
  const int chosen = FChosen;
  const std::vector<TWyShapeLine*> lines = FTracks[static_cast<size_t>(chosen)].Lines;
  std::vector<std::weak_ptr<char>> lives;
  int32_t total = 0;
  for (TWyShapeLine* line : lines) {
    lives.push_back(line->LifeToken());
    total += line->Count();
  }
  FFetching = true;
  FCancelFetch = false;
  FNote.clear();
  FFetch->setText("Cancel");
  int32_t before = 0;
  for (size_t i = 0; i < lines.size() && !FCancelFetch; ++i) {
    if (lives[i].expired()) break;
    lines[i]->getAltitudes([&](TWyShapeLine*, int32_t done, bool& cancel) {
      FFetch->setText(
          Q("Cancel (" + std::to_string(before + done) + " of " + std::to_string(total) + ")"));
      cancel = FCancelFetch;
    });
    if (!lives[i].expired()) before += lines[i]->Count();
  }
  FFetching = false;
  FFetch->setText("Fetch elevations");
  // The panel may show other tracks by now (another file was opened).
  if (chosen >= TrackCount() || FTracks[static_cast<size_t>(chosen)].Lines != lines) return;
  for (const std::weak_ptr<char>& life : lives)
    if (life.expired()) return;
  RereadTrack(FTracks[static_cast<size_t>(chosen)]);
  const TTrackStats s = TrackStatistics(FTracks[static_cast<size_t>(chosen)].Track);
  if (QListWidgetItem* item = FList->item(chosen))
    item->setText(
        Q(TrackTitle(FTracks[static_cast<size_t>(chosen)].Track, static_cast<size_t>(chosen)) +
          "\n" + MainFigures(s)));
  FNote = FCancelFetch      ? "Elevations: cancelled"
          : !s.HasElevation ? "Elevations: the service gave none"
                            : "";
  if (FChosen == chosen) Choose(chosen);
}

}  // namespace wy
