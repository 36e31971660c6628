#include "daily_totals_view.h"

#include "base/atomic_file.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal_read.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <memory>
#include <set>

namespace ostrel::app {

namespace {

constexpr const char* kDateFormat = "yyyy-MM-dd";

// The chart's bars: counts of cards and of failures, one set each.
struct BarDefinition {
    const char* name;
    int journal::DayTotals::*count;
};
constexpr BarDefinition kBars[] = {
    {"formatées", &journal::DayTotals::formatted},
    {"réécrites", &journal::DayTotals::rewritten},
    {"cartes crédit", &journal::DayTotals::creditCards},
    {"cartes jeton", &journal::DayTotals::tokenCards},
    {"codes refusés", &journal::DayTotals::refused},
    {"échecs d'écriture", &journal::DayTotals::failed},
    {"cartes verrouillées", &journal::DayTotals::locked},
    {"non présentés (dernier essai)", &journal::DayTotals::notPresented},
};

// Counts are whole: an axis from 0 in steps of 1, 2 or 5 times a power of ten, at most five of
// them, ending on a step; so no tick falls between two whole numbers, even on an empty range.
void WholeAxis(QValueAxis* axis, int most) {
    most = std::max(1, most);
    long long step = 1;
    for (long long power = 1; step * 5 < most; power *= 10) {
        for (const long long multiple : {1, 2, 5}) {
            step = multiple * power;
            if (step * 5 >= most)
                break;
        }
    }
    const long long top = (most + step - 1) / step * step;
    axis->setRange(0, static_cast<qreal>(top));
    axis->setLabelFormat("%d");
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(static_cast<qreal>(step));
}

// By station a day has several rows: the chart sums them into one bar group per day.
std::vector<journal::DayTotals> ChartDays(const std::vector<journal::DayTotals>& rows) {
    std::vector<journal::DayTotals> days;
    for (const journal::DayTotals& row : rows) {
        if (days.empty() || days.back().day != row.day) {
            days.push_back(row);
            continue;
        }
        for (const BarDefinition& definition : kBars)
            days.back().*definition.count += row.*definition.count;
        days.back().credits += row.credits;
    }
    return days;
}

} // namespace

DailyTotalsView::DailyTotalsView(journal::Journal* journal, base::Waiting* waiting, QWidget* parent)
    : QWidget(parent), journal_(journal), dtSince_(new QDateEdit(this)),
      dtUntil_(new QDateEdit(this)), cmbStation_(new QComboBox(this)),
      cmdExport_(new QPushButton("E&xporter en CSV…", this)), lstTotals_(new QTableWidget(this)),
      chart_(new QChart), chartTotals_(new QChartView(chart_, this)), lblInfo_(new QLabel(this)),
      read_(new JournalRead(waiting, lblInfo_, this)) {
    setObjectName("viewTotals");
    dtSince_->setObjectName("dtSince");
    dtUntil_->setObjectName("dtUntil");
    cmbStation_->setObjectName("cmbTotalsStation");
    cmbStation_->addItems({kAllStations, kByStation});
    cmdExport_->setObjectName("cmdExportTotals");
    lstTotals_->setObjectName("lstTotals");
    chartTotals_->setObjectName("chartTotals");
    lblInfo_->setObjectName("lblTotalsInfo");
    lblInfo_->setTextFormat(Qt::PlainText);
    lblInfo_->setWordWrap(true); // a server's refusal is long: it wraps, never cut
    for (QDateEdit* date : {dtSince_, dtUntil_}) {
        date->setDisplayFormat(kDateFormat);
        date->setCalendarPopup(true);
    }
    lstTotals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstTotals_->verticalHeader()->hide();
    chart_->setTitle("Opérations par jour");
    // One entry a line beside the chart: a row below it cuts the names once they are many.
    chart_->legend()->setAlignment(Qt::AlignRight);
    chart_->legend()->setShowToolTips(true);
    // Nine entries, one a line, whole within the chart's least height.
    QFont legendFont = chart_->legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.8);
    chart_->legend()->setFont(legendFont);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    chartTotals_->setRenderHint(QPainter::Antialiasing);
    chartTotals_->setMinimumHeight(240);

    auto* range = new QHBoxLayout;
    auto* since = new QLabel("&Du", this);
    since->setBuddy(dtSince_);
    auto* until = new QLabel("&au", this);
    until->setBuddy(dtUntil_);
    range->addWidget(since);
    range->addWidget(dtSince_);
    range->addWidget(until);
    range->addWidget(dtUntil_);
    range->addWidget(new QLabel("(heure locale)", this));
    auto* station = new QLabel("Po&ste", this);
    station->setBuddy(cmbStation_);
    range->addWidget(station);
    range->addWidget(cmbStation_);
    range->addStretch();
    range->addWidget(cmdExport_);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(lstTotals_);
    split->addWidget(chartTotals_);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addWidget(split, 1);
    layout->addWidget(lblInfo_);

    const QDate today = QDate::currentDate();
    SetRange(today.addDays(-6), today);
    connect(dtSince_, &QDateEdit::dateChanged, this, &DailyTotalsView::Refresh);
    connect(dtUntil_, &QDateEdit::dateChanged, this, &DailyTotalsView::Refresh);
    connect(cmbStation_, &QComboBox::currentIndexChanged, this, &DailyTotalsView::Refresh);
    connect(cmdExport_, &QPushButton::clicked, this, &DailyTotalsView::Export);
}

void DailyTotalsView::SetRange(const QDate& since, const QDate& until) {
    {
        const QSignalBlocker quietSince(dtSince_);
        const QSignalBlocker quietUntil(dtUntil_);
        dtSince_->setDate(since);
        dtUntil_->setDate(until);
    }
    Refresh();
}

journal::TotalsScope DailyTotalsView::ChosenScope() const {
    journal::TotalsScope scope;
    if (cmbStation_->currentIndex() == 0)
        return scope;
    // One station's rows name it too, so that its export says whose they are.
    scope.byStation = true;
    if (cmbStation_->currentIndex() > 1)
        scope.station = cmbStation_->currentText().toStdString();
    return scope;
}

void DailyTotalsView::Refresh() {
    if (journal_ && dtSince_->date() <= dtUntil_->date()) {
        struct Summed {
            bool ok = false;
            journal::Totals totals;
            std::vector<std::string> stations;
            std::string error;
        };
        auto summed = std::make_shared<Summed>();
        const journal::TotalsScope scope = ChosenScope();
        read_->Start(
            [journal = journal_, since = dtSince_->date().toString(kDateFormat).toStdString(),
             until = dtUntil_->date().toString(kDateFormat).toStdString(), scope, summed] {
                // One read by station serves the table, whatever is chosen, and the list of
                // the stations.
                std::vector<journal::DayCount> counts;
                summed->ok = journal->CountByDay(journal::LocalZoneName(), since, until, true,
                                                 counts, summed->error);
                summed->totals = journal::SumDayCounts(counts, scope);
                std::set<std::string> seen;
                for (const journal::DayCount& count : counts)
                    seen.insert(count.station);
                seen.erase(std::string());
                summed->stations.assign(seen.begin(), seen.end());
            },
            [this, summed, byStation = scope.byStation] {
                totals_ = std::move(summed->totals);
                byStation_ = byStation;
                lblInfo_->setText(
                    summed->ok
                        ? QString("%1 jour(s) avec des opérations ; seules les cartes « écrite et "
                                  "vérifiée » sont comptées comme écrites")
                              .arg(ChartDays(totals_.days).size())
                        : QString::fromStdString(summed->error));
                if (summed->ok)
                    ShowStations(summed->stations);
                Show();
            });
        return;
    }
    read_->Forget();
    totals_ = {};
    totals_.total.day = "total";
    byStation_ = ChosenScope().byStation;
    lblInfo_->setText(journal_ ? "Période vide : le premier jour est après le dernier"
                               : "Aucun journal");
    Show();
}

void DailyTotalsView::ShowStations(const std::vector<std::string>& stations) {
    const QString chosen = cmbStation_->currentIndex() > 1 ? cmbStation_->currentText() : QString();
    QStringList names;
    for (const std::string& station : stations)
        names << QString::fromStdString(station);
    // A station chosen stays offered in a range where it has no rows.
    if (!chosen.isEmpty() && !names.contains(chosen)) {
        names << chosen;
        names.sort();
    }
    QStringList shown;
    for (int i = 2; i < cmbStation_->count(); ++i)
        shown << cmbStation_->itemText(i);
    if (shown == names)
        return;
    const QSignalBlocker quiet(cmbStation_);
    while (cmbStation_->count() > 2)
        cmbStation_->removeItem(2);
    cmbStation_->addItems(names);
    for (int i = 2; i < cmbStation_->count(); ++i) {
        if (cmbStation_->itemText(i) == chosen)
            cmbStation_->setCurrentIndex(i);
    }
}

bool DailyTotalsView::reading() const {
    return read_->pending();
}

void DailyTotalsView::Show() {
    ShowTable();
    ShowChart();
}

void DailyTotalsView::ShowTable() {
    const std::vector<std::string> names = journal::TotalsColumnNames(byStation_);
    lstTotals_->setColumnCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        lstTotals_->setHorizontalHeaderItem(static_cast<int>(i),
                                            new QTableWidgetItem(QString::fromStdString(names[i])));
    }
    const std::size_t firstCount = byStation_ ? 2 : 1; // the day, and the station, are text
    std::vector<journal::DayTotals> rows = totals_.days;
    rows.push_back(totals_.total);
    lstTotals_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const std::vector<std::string> fields = journal::TotalsFields(rows[row], byStation_);
        for (std::size_t column = 0; column < fields.size(); ++column) {
            auto* item = new QTableWidgetItem(QString::fromStdString(fields[column]));
            if (column >= firstCount)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            lstTotals_->setItem(static_cast<int>(row), static_cast<int>(column), item);
        }
    }
    QFont bold = lstTotals_->font();
    bold.setBold(true);
    for (int column = 0; column < lstTotals_->columnCount(); ++column)
        lstTotals_->item(lstTotals_->rowCount() - 1, column)->setFont(bold);
    lstTotals_->resizeColumnsToContents();
    cmdExport_->setEnabled(!totals_.days.empty());
}

void DailyTotalsView::ShowChart() {
    chart_->removeAllSeries();
    // A chart gives a removed axis back to the caller.
    for (QAbstractAxis* axis : chart_->axes()) {
        chart_->removeAxis(axis);
        delete axis;
    }
    auto* bars = new QBarSeries;
    bars->setObjectName("barsTotals");
    const std::vector<journal::DayTotals> chartDays = ChartDays(totals_.days);
    QStringList days;
    for (const journal::DayTotals& day : chartDays)
        days << QString::fromStdString(day.day);
    int highest = 1;
    for (const BarDefinition& definition : kBars) {
        auto* set = new QBarSet(QString::fromUtf8(definition.name));
        for (const journal::DayTotals& day : chartDays) {
            set->append(day.*definition.count);
            highest = std::max(highest, day.*definition.count);
        }
        bars->append(set);
    }
    // Credits run to hundreds where cards run to tens: they have an axis of their own.
    auto* credits = new QLineSeries;
    credits->setObjectName("lineCredits");
    credits->setName("crédits (axe de droite)");
    // A range of one day is one point: it must show without a line.
    credits->setPointsVisible(true);
    credits->setMarkerSize(9);
    credits->setPen(QPen(Qt::black, 2));
    int mostCredits = 1;
    for (std::size_t i = 0; i < chartDays.size(); ++i) {
        credits->append(static_cast<qreal>(i), chartDays[i].credits);
        mostCredits = std::max(mostCredits, chartDays[i].credits);
    }
    chart_->addSeries(bars);
    chart_->addSeries(credits);
    auto* axisDays = new QBarCategoryAxis;
    axisDays->append(days);
    auto* axisCards = new QValueAxis;
    axisCards->setObjectName("axisCards");
    WholeAxis(axisCards, highest);
    axisCards->setTitleText("opérations");
    auto* axisCredits = new QValueAxis;
    axisCredits->setObjectName("axisCredits");
    WholeAxis(axisCredits, mostCredits);
    axisCredits->setTitleText("crédits");
    chart_->addAxis(axisDays, Qt::AlignBottom);
    chart_->addAxis(axisCards, Qt::AlignLeft);
    chart_->addAxis(axisCredits, Qt::AlignRight);
    bars->attachAxis(axisDays);
    bars->attachAxis(axisCards);
    credits->attachAxis(axisDays);
    credits->attachAxis(axisCredits);
}

void DailyTotalsView::Export() {
    const QString file = chooseExportFile ? chooseExportFile() : QString();
    if (file.isEmpty())
        return;
    const base::FileResult written = base::WriteFileAtomically(
        file.toStdString(),
        journal::kUtf8ByteOrderMark + journal::TotalsCsv(totals_, ';', byStation_));
    lblInfo_->setText(written ? QString("Totaux exportés dans %1").arg(file)
                              : QString::fromStdString(written.error));
}

} // namespace ostrel::app
