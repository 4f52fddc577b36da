#include "demo/demo_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "demo/address_box.h"
#include "demo/track_panel.h"
#include "geo/coordinate_text.h"
#include "geo/geodesy.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/text_convert.h"
#include "graphics/system_colors.h"
#include "map/map_control.h"
#include "platform/open_url.h"
#include "services/geo_localise.h"
#include "services/mapquest_services.h"
#include "services/places.h"
#include "shapes/animation.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

constexpr double kNoAlt = -9999;
constexpr TColor kAreaColor = 0xFF0000;  // blue (BGR)
constexpr int kSelectionZIndex = 101;
constexpr int kInfoWindowZIndex = 20;
constexpr uint32_t kBlinkSteps = 20;
constexpr uint32_t kBlinkTiming = 250;

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}
std::string S(const QString& text) {
  return text.toUtf8().toStdString();
}

// The wait cursor for the length of a synchronous look-up.
class TBusyCursor {
 public:
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The cells of the tags grid below its "Key" / "Value" header: the keys
// bold on grey, the values wrapped on white (white on navy when selected),
// a light line along the bottom and right edge of every cell.
class TResultsDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool key = index.column() == 0;
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QRect rect = option.rect;
    painter->save();
    QFont font("Tahoma", 8);
    font.setBold(key);
    painter->setFont(font);
    QColor back = Qt::white;
    if (key)
      back = ToQColor(clBtnFace);
    else if (selected)
      back = QColor(0, 0, 128);
    painter->fillRect(rect, back);
    painter->setPen(QPen(ToQColor(cl3DLight), 1));
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->drawLine(rect.right(), rect.bottom(), rect.right(), rect.top());
    painter->setPen(selected && !key ? Qt::white : Qt::black);
    const QString text = index.data().toString();
    if (key)
      painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    else
      painter->drawText(rect.adjusted(2, 4, -2, 0), Qt::AlignHCenter | Qt::TextWordWrap, text);
    painter->restore();
  }
};

}  // namespace

TFZeduZavireRozuvidu::TFZeduZavireRozuvidu(const std::string& localCache, QWidget* parent)
    : QMainWindow(parent), GEoLocalise(std::make_unique<TWyGeoLocalise>()) {
  setWindowTitle("Demo RiduzeZirudiruzire");
  BuildControls();
  FormCreate(localCache);
}

TFZeduZavireRozuvidu::~TFZeduZavireRozuvidu() {
  // The map (a child widget, freed after this body) must not keep the
  // component it is handed, and no late report may reach a half-destroyed
  // window: the component stops and joins a running search here.
  TimerPlaces->stop();
  GEoLocalise->OnSearch = nullptr;
  map->OnMapClick = nullptr;
  map->OnMapMouseMove = nullptr;
  map->OnShapeClick = nullptr;
  map->OnShapeDragEnd = nullptr;
  map->OnLoad = nullptr;
  map->SetGeoLocalise(nullptr);
  GEoLocalise.reset();
}

void TFZeduZavireRozuvidu::BuildControls() {
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  // The map, and under it the track panel.
  auto* left = new QWidget(central);
  auto* leftColumn = new QVBoxLayout(left);
  leftColumn->setContentsMargins(0, 0, 0, 0);
  leftColumn->setSpacing(0);
  map = new TWyVuroduDav(left);
  map->setCenter(kStartLatitude, kStartLongitude);
  map->SetDblClickZoom(true);
  map->SetMouseWheelZoom(true);
  map->SetZoomAtPointer(true);
  map->SetShowZoomButtons(true);
  map->SetShowScaleBar(true);
  map->SetDraggable(true);
  leftColumn->addWidget(map, 1);
  tracks = new TTrackPanel(map, left);
  leftColumn->addWidget(tracks);
  row->addWidget(left, 1);

  Panel1 = new QWidget(central);
  Panel1->setFixedWidth(349);
  Panel1->setFont(QFont("Tahoma", 10));
  Panel1->installEventFilter(this);
  row->addWidget(Panel1);
  auto* column = new QVBoxLayout(Panel1);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(0);

  Panel3 = new QWidget(Panel1);
  Panel3->setFixedHeight(67);
  column->addWidget(Panel3);
  QFont bold("Tahoma", 10);
  bold.setBold(true);
  Label1 = new QLabel("Map", Panel3);
  Label1->setFont(bold);
  Label1->move(12, 3);
  tileserver = new QComboBox(Panel3);
  tileserver->addItems(
      {"MapQuest", "MapQuestSat", "OSM", "CloudMade", "Cycle Map", "OPVN", "Offline"});
  // Nothing is chosen at start; the box names what the map shows meanwhile
  // instead of staying blank.
  tileserver->setCurrentIndex(-1);
  tileserver->setPlaceholderText("OSM");
  tileserver->setGeometry(60, 0, 276, 24);
  Label2 = new QLabel("Adress", Panel3);
  Label2->setFont(bold);
  Label2->move(9, 41);
  adresse = new TAddressBox(Panel3);
  adresse->setGeometry(61, 37, 205, 24);
  adresse->OnEnter = [this] { AdresseKeyPress(); };
  btGo = new QPushButton("Goto", Panel3);
  btGo->setGeometry(277, 35, 60, 27);

  GroupBox1 = new QGroupBox(" Select a distance and type of place  ", Panel1);
  GroupBox1->setFixedHeight(112);
  GroupBox1->setFont(bold);
  column->addWidget(GroupBox1);
  QFont plain("Tahoma", 10);
  ckStore = new QRadioButton("Store", GroupBox1);
  ckStore->setFont(plain);
  ckStore->move(14, 32);
  ckStore->setChecked(true);
  ckRestaurant = new QRadioButton("Restaurant", GroupBox1);
  ckRestaurant->setFont(plain);
  ckRestaurant->move(90, 32);
  btFindPlaces = new QPushButton("Find places", GroupBox1);
  btFindPlaces->setFont(plain);
  btFindPlaces->setGeometry(239, 32, 89, 25);
  btFindPlaces->setEnabled(false);
  Label3 = new QLabel("Distance : ", GroupBox1);
  Label3->setFont(plain);
  Label3->move(14, 76);
  radius = new QLineEdit(GroupBox1);
  radius->setFont(plain);
  radius->setGeometry(86, 70, 85, 24);
  radius->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), radius));
  Label4 = new QLabel("meters", GroupBox1);
  Label4->setFont(plain);
  Label4->move(176, 76);
  abort = new QPushButton("Abort in", GroupBox1);
  abort->setFont(plain);
  abort->setGeometry(239, 72, 88, 25);
  abort->hide();

  Panel4 = new QWidget(Panel1);
  Panel4->installEventFilter(this);
  column->addWidget(Panel4, 1);
  auto* details = new QVBoxLayout(Panel4);
  details->setContentsMargins(0, 0, 0, 0);
  details->setSpacing(0);
  Panel5 = new QWidget(Panel4);
  Panel5->setFixedHeight(31);
  details->addWidget(Panel5);
  place = new QComboBox(Panel5);
  auto* placeRow = new QHBoxLayout(Panel5);
  placeRow->setContentsMargins(0, 2, 0, 0);
  placeRow->addWidget(place);
  results = new QTableWidget(1, 2, Panel4);
  // "Key" and "Value" head the columns and stay in view when the tags
  // scroll; the window sizes the columns.
  results->setHorizontalHeaderLabels({"Key", "Value"});
  QHeaderView* header = results->horizontalHeader();
  QFont headerFont("Tahoma", 8);
  headerFont.setBold(true);
  header->setFont(headerFont);
  header->setDefaultAlignment(Qt::AlignCenter);
  header->setSectionsClickable(false);
  header->setHighlightSections(false);
  header->setSectionResizeMode(QHeaderView::Fixed);
  results->verticalHeader()->hide();
  results->setShowGrid(false);
  results->setFrameShape(QFrame::NoFrame);
  results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  results->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  results->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results->setItemDelegate(new TResultsDelegate(results));
  results->installEventFilter(this);
  // The viewport narrows and widens as the scroll bar comes and goes.
  results->viewport()->installEventFilter(this);
  details->addWidget(results, 1);

  Panel2 = new QWidget(Panel1);
  Panel2->setFixedHeight(32);
  column->addWidget(Panel2);
  btClear = new QPushButton("Clear all places", Panel2);
  btClear->setGeometry(2, 6, 171, 25);
  ckTraffic = new QCheckBox("Traffic", Panel2);
  ckTraffic->setGeometry(182, 6, 80, 25);
  ckPhotos = new QCheckBox("Photos", Panel2);
  ckPhotos->setGeometry(265, 6, 78, 25);
  Panel6 = new QWidget(Panel1);
  Panel6->setFixedHeight(31);
  column->addWidget(Panel6);
  btOpen = new QPushButton("Open\u2026", Panel6);
  btOpen->setGeometry(2, 5, 98, 25);
  btSave = new QPushButton("Save\u2026", Panel6);
  btSave->setGeometry(104, 5, 98, 25);
  btExport = new QPushButton("Export picture\u2026", Panel6);
  btExport->setGeometry(206, 5, 137, 25);

  setCentralWidget(central);
  status = new QLabel(this);
  statusBar()->addWidget(status, 1);
  pointerAt = new QLabel(this);
  statusBar()->addPermanentWidget(pointerAt);

  TimerPlaces = new QTimer(this);
  TimerPlaces->setInterval(500);

  // Client area 1040 x 608 above the status line, centred on the screen.
  resize(1040, 608 + statusBar()->sizeHint().height());
  if (QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  connect(tileserver, QOverload<int>::of(&QComboBox::activated), this,
          [this](int) { tileserverClick(); });
  // activated, not currentIndexChanged: ShowPlace and the address search
  // select items themselves and must not run these handlers again.
  connect(adresse, QOverload<int>::of(&QComboBox::activated), this,
          [this](int index) { adresseClick(index); });
  connect(place, QOverload<int>::of(&QComboBox::activated), this,
          [this](int index) { placeClick(index); });
  connect(btGo, &QPushButton::clicked, this, [this] { btGoClick(); });
  connect(radius, &QLineEdit::textChanged, this, [this] { radiusChange(); });
  connect(btFindPlaces, &QPushButton::clicked, this, [this] { btFindPlacesClick(); });
  connect(abort, &QPushButton::clicked, this, [this] { abortClick(); });
  connect(btClear, &QPushButton::clicked, this, [this] { btClearClick(); });
  connect(btOpen, &QPushButton::clicked, this, [this] { btOpenClick(); });
  connect(ckTraffic, &QCheckBox::clicked, this, [this](bool on) { map->SetTrafficLayer(on); });
  connect(ckPhotos, &QCheckBox::clicked, this, [this](bool on) { map->SetPanoramioLayer(on); });
  connect(btSave, &QPushButton::clicked, this, [this] { btSaveClick(); });
  connect(btExport, &QPushButton::clicked, this, [this] { btExportClick(); });
  connect(TimerPlaces, &QTimer::timeout, this, [this] { TimerPlacesTimer(); });

  map->OnMapClick = [this](TVuroduDavControl*, double lat, double lng) { mapMapClick(lat, lng); };
  map->OnShapeDragEnd = [this](TObject*) { mapShapeDragEnd(); };
  map->OnMapMouseMove = [this](TVuroduDavControl*, double lat, double lng) {
    pointerAt->setText(Q(FloatToStrFixedDot(5, lat) + ", " + FloatToStrFixedDot(5, lng)));
  };
  map->OnShapeClick = [this](TObject*, TWyShape* item) { mapShapeClick(item); };
  map->OnLoad = [this](TObject*, const std::string& group, bool) { mapLoad(group); };
  // The attribution links to the page of the data's terms.
  map->OnAttributionClick = [](TVuroduDavControl*, const std::string& url) { OpenUrl(url); };
  GEoLocalise->OnSearch = [this](TWyGeoLocalise*) { mapPlacesSearch(); };
}

void TFZeduZavireRozuvidu::FormCreate(const std::string& localCache) {
  Panel1Resize();
  // The component gets the map's cache folder when it is attached.
  map->SetLocalCache(localCache);
  map->SetGeoLocalise(GEoLocalise.get());
  if (GEoLocalise->LocalCache().empty()) GEoLocalise->SetLocalCache(localCache);
  radius->setText("1000");  // runs radiusChange
  ClearAll();
}

bool TFZeduZavireRozuvidu::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == Panel1) Panel1Resize();
    if (watched == Panel4 || watched == results || watched == results->viewport()) Panel4Resize();
  }
  return QMainWindow::eventFilter(watched, event);
}

int TFZeduZavireRozuvidu::MapRenderCount() const {
  return map->RenderCount();
}

void TFZeduZavireRozuvidu::Panel1Resize() {
  btGo->move(Panel1->width() - btGo->width() - 7, btGo->y());
  adresse->resize(btGo->x() - adresse->x() - 14, adresse->height());
}

void TFZeduZavireRozuvidu::Panel4Resize() {
  const int width = results->width();
  int col1 = width - width / 3;
  if (results->verticalScrollBar()->isVisible())
    col1 -= QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  col1 = std::max(0, col1);
  if (results->columnWidth(0) == width / 3 && results->columnWidth(1) == col1) return;
  results->setColumnWidth(0, width / 3);
  results->setColumnWidth(1, col1);
  // Wrapped values take the height the new width gives them.
  results->resizeRowsToContents();
}

void TFZeduZavireRozuvidu::tileserverClick() {
  static const TTileServer kServers[] = {
      tsOpenMapQuest, tsOpenMapQuestSat, tsOSM, tsCloudMade, tsOpenCycleMap, tsOPNV, tsOffline};
  const int index = tileserver->currentIndex();
  map->SetTileServer(index >= 0 && index < int(std::size(kServers)) ? kServers[index] : tsOPNV);
}

bool TFZeduZavireRozuvidu::GoToTypedCoordinates(const std::string& text) {
  double lat = 0, lng = 0;
  if (!ParseCoordinateText(text, lat, lng)) return false;
  Report("");
  map->setCenter(lat, lng);
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
  return true;
}

void TFZeduZavireRozuvidu::AdresseKeyPress() {
  const std::string text = S(adresse->currentText());
  if (GoToTypedCoordinates(text)) return;
  int count = 0;
  {
    TBusyCursor busy;
    count = GEoLocalise->Search(EncodeQueryValue(text));
  }
  ShowAddressList();
  const TServiceAnswer& answer = GEoLocalise->MapQuestServices().Answer(mkSearch);
  if (!answer.Answered) {
    Report("Address search failed: the service could not be reached");
    return;
  }
  if (count <= 0) {
    Report("No place found for \"" + text + "\"");
    return;
  }
  Report("");
  TWyGeoResult& first = GEoLocalise->SearchResult(0);
  map->setCenter(first.Latitude(), first.Longitude());
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
}

void TFZeduZavireRozuvidu::ShowAddressList() {
  const QString typed = adresse->currentText();
  adresse->clear();
  const TServiceResultList& found = GEoLocalise->SearchResults();
  for (int i = 0; i < found.Count(); ++i) adresse->addItem(Q(found.Strings(i)));
  adresse->setCurrentIndex(-1);
  adresse->setEditText(typed);
  // The box is narrow and the names are long: the list opens as wide as
  // its longest name instead of cutting the names in the middle.
  QAbstractItemView* list = adresse->view();
  list->setMinimumWidth(found.Count() == 0 ? 0
                                           : list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                                                 list->verticalScrollBar()->sizeHint().width());
}

void TFZeduZavireRozuvidu::adresseClick(int index) {
  if (index < 0) return;
  TWyGeoResult& chosen = GEoLocalise->SearchResult(index);
  // An item from an older list (or none) gives an empty result: stay put.
  if (chosen.Latitude() == -1 && chosen.Longitude() == -1) return;
  map->setCenter(chosen.Latitude(), chosen.Longitude());
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
}

void TFZeduZavireRozuvidu::btGoClick() {
  const std::string text = S(adresse->currentText());
  if (GoToTypedCoordinates(text)) return;
  {
    TBusyCursor busy;
    map->SetAddress(text);
  }
  // The map searched through the component: its list is this search's.
  ShowAddressList();
  const TServiceAnswer& answer = GEoLocalise->MapQuestServices().Answer(mkSearch);
  if (!answer.Answered)
    Report("Address search failed: the service could not be reached");
  else if (GEoLocalise->SearchCount() <= 0)
    Report("No place found for \"" + text + "\"");
  else
    Report("");
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0)) {
    const TLatLng c = map->Center();
    pin->SetPosition(c.Lat, c.Lng);
  }
  DrawRadius();
}

int TFZeduZavireRozuvidu::SearchRadius(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  const int value = std::stoi(text);
  return value >= 1 && value <= kMaxRadius ? value : -1;
}

void TFZeduZavireRozuvidu::UpdateFindEnabled() {
  btFindPlaces->setEnabled(SearchRadius(S(radius->text())) > 0 &&
                           !GEoLocalise->Places().Searching());
}

void TFZeduZavireRozuvidu::radiusChange() {
  UpdateFindEnabled();
  DrawRadius();
}

std::string TFZeduZavireRozuvidu::AbortCaption(uint32_t elapsed) {
  const int64_t left = std::max<int64_t>(0, int64_t{kMaxSearchSeconds} - int64_t{elapsed});
  return "Abort in " + std::to_string(left) + "s";
}

std::string TFZeduZavireRozuvidu::IconFile(const std::string& name) {
  std::string base = GetSetting("demo.icon-base");
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base.empty() ? name : base + "/" + name;
}

void TFZeduZavireRozuvidu::btFindPlacesClick() {
  const int metres = SearchRadius(S(radius->text()));
  if (metres <= 0 || GEoLocalise->Places().Searching()) return;
  btFindPlaces->setEnabled(false);
  abort->setText(Q(AbortCaption(0)));
  abort->show();
  Report("");
  QPointer<TFZeduZavireRozuvidu> alive(this);
  QCoreApplication::processEvents();
  if (!alive) return;
  TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0);
  if (pin) map->setCenter(pin->Latitude(), pin->Longitude());
  const TLatLng c = map->Center();
  const std::string tags = ckStore->isChecked()        ? "node[shop=*]"
                           : ckRestaurant->isChecked() ? "node[amenity=restaurant]"
                                                       : "node[shop=*]";
  ClearAll();
  FStartPlace = 0;
  // The results come back to this centre and distance, wherever the map or
  // the distance field are by then.
  FSearchCentre = c;
  FSearchMetres = metres;
  GEoLocalise->Places().SetRadius(metres);
  GEoLocalise->PlaceSearch(c.Lat, c.Lng, tags);
  if (!GEoLocalise->Places().Searching()) {
    // Nothing started (or it ended at once and reported already).
    if (abort->isVisible()) mapPlacesSearch();
    return;
  }
  TimerPlaces->start();
}

void TFZeduZavireRozuvidu::TimerPlacesTimer() {
  const uint32_t elapsed = GEoLocalise->AbortPlaceSearchIfMaxTime(kMaxSearchSeconds);
  abort->setText(Q(AbortCaption(elapsed)));
}

void TFZeduZavireRozuvidu::abortClick() {
  GEoLocalise->AbortPlaceSearch();
}

void TFZeduZavireRozuvidu::mapPlacesSearch() {
  TWyPlaces& places = GEoLocalise->Places();
  // A late report while a newer search runs belongs to a stopped search: the
  // new one keeps its button and its time limit.
  if (places.Searching()) return;
  place->clear();
  TimerPlaces->stop();
  abort->hide();
  if (places.Status() != TWyPlaces::kStatusOk) {
    Report(places.Status() == TWyPlaces::kStatusTooLong
               ? "Places search aborted"
               : "Places search failed: " + places.Error());
    UpdateFindEnabled();
    return;
  }
  // A short pause so the map settles before the markers come; Find stays
  // disabled meanwhile, so no new search can empty the results being read.
  QPointer<TFZeduZavireRozuvidu> alive(this);
  QElapsedTimer wait;
  wait.start();
  while (wait.elapsed() < 100) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!alive) return;
  }
  if (places.Searching() || places.Status() != TWyPlaces::kStatusOk) {
    UpdateFindEnabled();
    return;
  }
  FStartPlace = 1;
  map->BeginUpdate();
  map->Shapes()->Markers()->Clear();
  map->Shapes()->InfoWindows()->Clear();
  InitMarkers(FSearchCentre);
  DrawArea(FSearchMetres);
  const TWyPlaceResults& found = places.Results();
  for (int i = 0; i < found.count(); ++i) {
    const TWyPlaceResult* p = found.Items(i);
    if (!p) continue;
    const std::string types = p->Values("types");
    std::string name = p->Values("name");
    if (name.empty()) name = "unknown";
    const int32_t index = map->Shapes()->Markers()->Add(p->Latitude(), p->Longitude());
    TWyShapeMarker* marker = map->Shapes()->Markers()->Items(index);
    if (!marker) continue;
    const char* icon = types.find("restaurant") != std::string::npos ? "restaurant.png"
                       : types.find("doctor") != std::string::npos   ? "doctor.png"
                                                                     : "supermarket.png";
    marker->SetClickable(true);
    marker->SetFilename(IconFile(icon));
    // The list item carries the result index, and the marker's Tag is made
    // from it too: a marker that could not be added shifts nothing.
    place->addItem(Q(name), i);
    marker->SetTag(i + FStartPlace);
    marker->SetHint(NeutraliseMarkup(name));
  }
  map->EndUpdate();
  Report(found.count() == 0 ? "No place found" : "");
  if (found.count() > 0) ShowPlace(0);
  UpdateFindEnabled();
}

int TFZeduZavireRozuvidu::PlaceOfItem(int item) const {
  if (item < 0 || item >= place->count()) return -1;
  bool ok = false;
  const int index = place->itemData(item).toInt(&ok);
  return ok ? index : -1;
}

void TFZeduZavireRozuvidu::placeClick(int index) {
  ShowPlace(PlaceOfItem(index));
}

TWyShapeMarker* TFZeduZavireRozuvidu::PlaceMarker(int index) const {
  if (FStartPlace <= 0 || index < 0) return nullptr;
  TWyShapeMarkerList* markers = map->Shapes()->Markers();
  for (int32_t i = 0; i < markers->Count(); ++i) {
    TWyShapeMarker* m = markers->Items(i);
    if (m && i != 0 && i != idSelected && m->Tag() == index + FStartPlace) return m;
  }
  return nullptr;
}

void TFZeduZavireRozuvidu::ShowPlace(int index) {
  if (index < 0) return;
  for (int item = 0; item < place->count(); ++item)
    if (PlaceOfItem(item) == index) place->setCurrentIndex(item);
  const TWyPlaceResult* p = GEoLocalise->Places().Results().Items(index);
  if (!p) return;

  const int lines = p->CountResult();
  if (lines == 0)
    ClearGrid();
  else
    results->setRowCount(lines);
  for (int k = 0; k < lines; ++k) {
    const std::string key = p->Names(k);
    results->setItem(k, 0, new QTableWidgetItem(Q(key)));
    results->setItem(k, 1, new QTableWidgetItem(Q(p->Values(key))));
  }
  results->resizeRowsToContents();
  Panel4Resize();

  TWyShapeMarker* m = PlaceMarker(index);
  const double lat = m ? m->Latitude() : p->Latitude();
  const double lng = m ? m->Longitude() : p->Longitude();
  std::string hint = m ? m->Hint() : p->Values("name");
  if (hint.empty()) hint = "unknown";
  hint = NeutraliseMarkup(hint);
  double latSW = 0, lngSW = 0, latNE = 0, lngNE = 0;
  boundingCoordinates(lat, lng, 0.1, latSW, lngSW, latNE, lngNE);

  if (TWyShapeMarker* selected = map->Shapes()->Markers()->Items(idSelected)) {
    selected->SetPosition(lat, lng);
    selected->SetVisible(true);
    selected->SetHint(hint);
    auto blink = std::make_unique<TWyAnimationShapeColor>(kBlinkSteps);
    blink->SetTiming(kBlinkTiming);
    selected->SetAnimation(std::move(blink));
  }
  std::string address;
  {
    TBusyCursor busy;
    address = map->GetAddressFromLatLng(lat, lng);  // markup already neutralised
  }
  if (address.empty()) Report("No address found for \"" + hint + "\"");
  if (TWyShapeInfoWindow* info = map->Shapes()->InfoWindows()->Items(0)) {
    info->SetContent("<b>" + hint + "</b><br><br>" + address);
    info->SetPosition(lat, lng);
    info->SetVisible(true);
  }
  map->Bounds(latNE, lngNE, latSW, lngSW);
}

void TFZeduZavireRozuvidu::btClearClick() {
  ClearAll();
}

void TFZeduZavireRozuvidu::mapMapClick(double dLatitude, double dLongitude) {
  if (TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0))
    pin->SetPosition(dLatitude, dLongitude);
  DrawRadius();
}

void TFZeduZavireRozuvidu::mapShapeDragEnd() {
  DrawRadius();
}

void TFZeduZavireRozuvidu::mapShapeClick(TWyShape* item) {
  auto* marker = dynamic_cast<TWyShapeMarker*>(item);
  if (!marker || marker->Id() <= 0) return;
  if (marker == map->Shapes()->Markers()->Items(idSelected)) return;
  if (FStartPlace > 0 && marker->Tag() >= FStartPlace) ShowPlace(marker->Tag() - FStartPlace);
}

void TFZeduZavireRozuvidu::InitMarkers(const TLatLng& c) {
  TWyShapeMarkerList* markers = map->Shapes()->Markers();
  // The window's own shapes are not part of a saved map.
  if (TWyShapeMarker* pin = markers->Items(markers->Add(c.Lat, c.Lng))) {
    pin->SetFilename(IconFile("red-pushpin.png"));
    pin->SetDraggable(true);
    pin->SetSerialize(false);
  }
  idSelected = markers->Add(c.Lat, c.Lng);
  if (TWyShapeMarker* selected = markers->Items(idSelected)) {
    selected->SetSerialize(false);
    selected->SetZIndex(kSelectionZIndex);
    selected->SetVisible(false);
    selected->SetDraggable(false);
    auto blink = std::make_unique<TWyAnimationShapeColor>(kBlinkSteps);
    blink->SetTiming(kBlinkTiming);
    selected->SetAnimation(std::move(blink));
  }
  TWyShapeInfoWindowList* infos = map->Shapes()->InfoWindows();
  infos->Add(0, 0, "");
  if (TWyShapeInfoWindow* info = infos->Items(0)) {
    info->SetSerialize(false);
    info->SetVisible(false);
    info->SetZIndex(kInfoWindowZIndex);
  }
}

void TFZeduZavireRozuvidu::DrawRadius() {
  const std::string text = S(radius->text());
  DrawArea(text.empty() ? -1.0 : StrToFloatDot(text));
}

void TFZeduZavireRozuvidu::DrawArea(double metres) {
  TWyShapeMarker* pin = map->Shapes()->Markers()->Items(0);
  if (!pin) return;
  const double km = metres / 1000.0;
  double latSW = 0, lngSW = 0, latNE = 0, lngNE = 0;
  boundingCoordinates(pin->Latitude(), pin->Longitude(), km, latSW, lngSW, latNE, lngNE);
  // Only the previous area goes: polygons of an opened map stay.
  if (!FAreaLife.expired()) FArea->Remove();
  TWyShapePolygoneList* polygons = map->Shapes()->Polygones();
  TWyShapePolygone* area = polygons->Items(polygons->Add(latSW, lngSW));
  FArea = area;
  FAreaLife = area ? area->LifeToken() : std::weak_ptr<char>();
  if (!area) return;
  area->SetSerialize(false);
  // Fill and hover fill in the same blue, outlined in blue too: the area
  // looks the same under the pointer.
  area->SetColor(kAreaColor);
  area->SetFillColor(kAreaColor);
  area->SetHoverColor(kAreaColor);
  area->SetZIndex(-1);
  area->SetOpacity(10);
  area->Add(latSW, lngNE, kNoAlt);
  area->Add(latNE, lngNE, kNoAlt);
  area->Add(latNE, lngSW, kNoAlt);
  area->Add(latSW, lngSW, kNoAlt);
  area->SetClickable(false);
}

void TFZeduZavireRozuvidu::ClearPlaceDetails() {
  place->clear();
  place->setEditText(QString());
  ClearGrid();
}

void TFZeduZavireRozuvidu::ClearGrid() {
  results->setRowCount(1);
  results->setItem(0, 0, new QTableWidgetItem(QString()));
  results->setItem(0, 1, new QTableWidgetItem(QString()));
}

void TFZeduZavireRozuvidu::ClearAll() {
  map->Shapes()->Clear();
  ClearPlaceDetails();
  InitMarkers(map->Center());
  DrawRadius();
}

void TFZeduZavireRozuvidu::Report(const std::string& text) {
  status->setText(Q(text));
}

}  // namespace wy
