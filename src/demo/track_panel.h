#pragma once
// The demo's track panel, under the map: the tracks of the file opened last
// with their main figures; the chosen one's figures (and those of a range
// selected on its profile) and its elevation profile, linked with the map.
// Hidden while no track is shown.

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "shapes/shape_track.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace wy {

class TTrackProfileLink;
class TTrackProfileWidget;
class TWyVuroduDav;
class TWyShapes;

class TTrackPanel : public QWidget {
 public:
  TTrackPanel(TWyVuroduDav* map, QWidget* parent);
  ~TTrackPanel() override;

  // The open lines of the groups as tracks; shown (the first chosen) when
  // there is one, hidden otherwise.
  void ShowTracks(const std::vector<TWyShapes*>& groups);
  // Forgets the tracks (before their lines go) and hides.
  void Clear();

  int TrackCount() const { return static_cast<int>(FTracks.size()); }
  int Chosen() const { return FChosen; }
  void Choose(int index);
  TTrackProfileWidget* Profile() const { return FProfile; }
  TTrackProfileLink* Link() const { return FLink.get(); }
  QListWidget* List() const { return FList; }
  QLabel* Figures() const { return FFigures; }
  // Asks the elevation service for the heights of the chosen track's
  // points (offered while one of them has none); while it runs the button
  // cancels.
  QPushButton* FetchButton() const { return FFetch; }

 private:
  void ShowFigures();
  void FetchElevations();

  std::vector<TLineTrack> FTracks;
  int FChosen = -1;
  QListWidget* FList = nullptr;
  QLabel* FFigures = nullptr;
  QCheckBox* FSpeed = nullptr;
  QCheckBox* FTime = nullptr;
  QPushButton* FFetch = nullptr;
  bool FFetching = false;
  bool FCancelFetch = false;
  std::string FNote;  // the outcome of the last fetch
  TTrackProfileWidget* FProfile = nullptr;
  std::unique_ptr<TTrackProfileLink> FLink;
};

}  // namespace wy
