/* Orvelle dark skin. "@skinpath" is replaced by the skin folder at start-up. */

QWidget {
    background-color: rgb(33, 35, 38);
    color: rgb(220, 223, 228);
    selection-background-color: #0489F5;
    selection-color: rgb(255, 255, 255);
}

QToolTip {
    background-color: rgb(52, 56, 61);
    color: rgb(235, 237, 240);
    border: 1px solid rgb(90, 96, 104);
    padding: 2px 4px;
}

/* Frameless windows and their title bars */
#COrvelle, CMessageBox, QDialog {
    background-color: rgb(33, 35, 38);
    border: 1px solid rgb(60, 64, 70);
}
#TitleWidget, #SubTitleWidget {
    background-color: rgb(31, 34, 38);
    border-bottom: 1px solid rgb(18, 19, 21);
}
#TitleWidget QLabel, #SubTitleWidget QLabel {
    background: transparent;
    color: rgb(220, 223, 228);
    font-weight: bold;
}

/* Buttons with text: message boxes and dialogs */
#NormalToolButton {
    background-color: rgb(52, 56, 61);
    color: rgb(230, 233, 237);
    border: 1px solid rgb(74, 80, 88);
    border-radius: 3px;
    padding: 2px 12px;
    min-height: 21px;
}
#NormalToolButton:hover {
    background-color: #0489F5;
    border-color: #3AA6FF;
    color: rgb(255, 255, 255);
}
#NormalToolButton:pressed {
    background-color: rgb(3, 110, 196);
}
#NormalToolButton:disabled {
    background-color: rgb(40, 43, 47);
    color: rgb(110, 115, 122);
    border-color: rgb(52, 56, 61);
}

/* Record list */
QTabWidget::pane {
    border: 0px;
    background-color: rgb(33, 35, 38);
}
QTabBar::tab {
    background-color: rgb(41, 44, 48);
    color: rgb(170, 176, 184);
    padding: 5px 18px;
    border: 0px;
    min-width: 70px;
}
QTabBar::tab:selected {
    background-color: rgb(33, 35, 38);
    color: rgb(255, 255, 255);
    border-bottom: 2px solid #0489F5;
}
QTabBar::tab:hover:!selected {
    color: rgb(230, 233, 237);
}
QTreeView {
    background-color: rgb(28, 30, 33);
    alternate-background-color: rgb(31, 33, 36);
    border: 0px;
    outline: 0px;
}
QTreeView::item {
    height: 22px;
}
QTreeView::item:hover {
    background-color: rgb(46, 50, 56);
}
QTreeView::item:selected {
    background-color: rgb(3, 98, 176);
    color: rgb(255, 255, 255);
}
QTreeView::branch:has-children:!has-siblings:closed,
QTreeView::branch:closed:has-children:has-siblings {
    border-image: none;
    image: url(@skinpath/icons/branch_closed.png);
}
QTreeView::branch:open:has-children:!has-siblings,
QTreeView::branch:open:has-children:has-siblings {
    border-image: none;
    image: url(@skinpath/icons/branch_open.png);
}
#AddDirButton {
    border: 0px;
    background-color: rgb(41, 44, 48);
    image: url(@skinpath/icons/add_dir.png);
}
#AddDirButton:hover {
    background-color: rgb(52, 56, 61);
    image: url(@skinpath/icons/add_dir_hover.png);
}

/* Calendar */
#CCalendar, #CCalendar QWidget {
    background-color: rgb(41, 41, 41);
}
#CCalendar QLabel {
    color: rgb(170, 176, 184);
    font-size: 8pt;
}
#MonthButton {
    border: 0px;
    color: rgb(230, 233, 237);
    background-color: rgb(41, 41, 41);
    font-weight: bold;
}
#MonthButton::menu-indicator {
    image: none;
}
#MonthButton:hover, #YearTimeEdit:hover {
    color: #3AA6FF;
}
#YearTimeEdit {
    border: 0px;
    color: rgb(230, 233, 237);
    background-color: rgb(41, 41, 41);
    font-weight: bold;
}

/* Video grid and play controls */
#CDisplayBox, #VideoFrame {
    background-color: rgb(18, 19, 21);
}
#ControlFrame {
    background-color: rgb(31, 34, 38);
    border-top: 1px solid rgb(18, 19, 21);
}
#ControlFrame QLabel {
    background: transparent;
    color: rgb(170, 176, 184);
}
QSlider::groove:horizontal {
    height: 4px;
    background-color: rgb(60, 64, 70);
    border-radius: 2px;
}
QSlider::sub-page:horizontal {
    background-color: #0489F5;
    border-radius: 2px;
}
QSlider::handle:horizontal {
    width: 12px;
    height: 12px;
    margin: -4px 0px;
    border-radius: 6px;
    background-color: rgb(235, 237, 240);
}
QSlider::handle:horizontal:hover {
    background-color: #3AA6FF;
}
QSlider::groove:horizontal:disabled, QSlider::sub-page:horizontal:disabled {
    background-color: rgb(48, 51, 56);
}
/* An idle slider: a small dim handle on a dark groove, plainly not live. */
QSlider::handle:horizontal:disabled {
    width: 8px;
    height: 8px;
    margin: -2px 0px;
    border-radius: 4px;
    background-color: rgb(70, 75, 82);
}

/* Menus */
QMenu {
    background-color: rgb(41, 44, 48);
    border: 1px solid rgb(66, 71, 78);
    padding: 3px 0px;
}
QMenu::item {
    padding: 4px 24px 4px 20px;
}
QMenu::item:selected {
    background-color: #0489F5;
    color: rgb(255, 255, 255);
}
QMenu::item:disabled {
    color: rgb(130, 135, 142);
}
QMenu::separator {
    height: 1px;
    margin: 3px 6px;
    background-color: rgb(66, 71, 78);
}

/* Edits, boxes and progress */
QLineEdit, QDateTimeEdit, QSpinBox, QComboBox, QTextEdit, QPlainTextEdit {
    background-color: rgb(26, 28, 31);
    color: rgb(230, 233, 237);
    border: 1px solid rgb(66, 71, 78);
    border-radius: 2px;
    padding: 1px 4px;
}
QLineEdit:focus, QDateTimeEdit:focus, QSpinBox:focus, QComboBox:focus, QPlainTextEdit:focus {
    border-color: #0489F5;
}
QComboBox::drop-down {
    border: 0px;
    width: 18px;
}
QComboBox::down-arrow {
    image: url(@skinpath/icons/combo_down.png);
}
QComboBox QAbstractItemView {
    background-color: rgb(41, 44, 48);
    border: 1px solid rgb(66, 71, 78);
    selection-background-color: #0489F5;
}
/* Spin boxes (the cut dialog's times): a styled box draws no arrows of its
   own, so the skin gives them. */
QAbstractSpinBox::up-button, QAbstractSpinBox::down-button {
    subcontrol-origin: border;
    width: 16px;
    border: 0px;
    background: transparent;
}
QAbstractSpinBox::up-button {
    subcontrol-position: top right;
}
QAbstractSpinBox::down-button {
    subcontrol-position: bottom right;
}
QAbstractSpinBox::up-button:hover, QAbstractSpinBox::down-button:hover {
    background-color: rgb(52, 56, 61);
}
QAbstractSpinBox::up-arrow {
    image: url(@skinpath/icons/spin_up.png);
}
QAbstractSpinBox::up-arrow:hover {
    image: url(@skinpath/icons/spin_up_hover.png);
}
QAbstractSpinBox::down-arrow {
    image: url(@skinpath/icons/spin_down.png);
}
QAbstractSpinBox::down-arrow:hover {
    image: url(@skinpath/icons/spin_down_hover.png);
}
QAbstractSpinBox::up-arrow:disabled, QAbstractSpinBox::up-arrow:off,
QAbstractSpinBox::down-arrow:disabled, QAbstractSpinBox::down-arrow:off {
    image: none;
}
/* The fold button of the export dialogs' case details */
#CaseDetailsHeader {
    background: transparent;
    color: rgb(220, 223, 228);
    border: 0px;
    padding: 1px 2px;
    font-weight: bold;
}
#CaseDetailsHeader:hover {
    color: rgb(255, 255, 255);
}
QProgressBar {
    background-color: rgb(26, 28, 31);
    border: 0px;
    border-radius: 3px;
    text-align: center;
    color: transparent;
}
QProgressBar::chunk {
    background-color: #0489F5;
    border-radius: 3px;
}

/* Scroll bars */
QScrollBar:vertical {
    width: 8px;
    background: transparent;
    margin: 0px;
}
QScrollBar:horizontal {
    height: 8px;
    background: transparent;
    margin: 0px;
}
QScrollBar::handle:vertical, QScrollBar::handle:horizontal {
    background-color: rgb(74, 80, 88);
    border-radius: 4px;
    min-height: 24px;
    min-width: 24px;
}
QScrollBar::handle:hover {
    background-color: rgb(100, 107, 116);
}
QScrollBar::add-line, QScrollBar::sub-line, QScrollBar::add-page, QScrollBar::sub-page {
    background: none;
    border: none;
    width: 0px;
    height: 0px;
}

/* Day timeline */
#TimelinePanel {
    background-color: rgb(31, 34, 38);
    border-top: 1px solid rgb(18, 19, 21);
}
#TimelinePanel QLabel {
    background: transparent;
    color: rgb(170, 176, 184);
}
#TimelineTitle {
    color: rgb(230, 233, 237);
    font-weight: bold;
}
#TimelineZoomButton, #TimelineExportButton {
    background: transparent;
    color: rgb(200, 204, 210);
    border: 1px solid transparent;
    border-radius: 3px;
    padding: 1px 6px;
}
#TimelineZoomButton:hover, #TimelineExportButton:hover {
    border-color: rgb(74, 80, 88);
    color: rgb(255, 255, 255);
}
#TimelineZoomButton:checked {
    background-color: rgb(52, 56, 61);
    border-color: #0489F5;
    color: rgb(255, 255, 255);
}
#TimelineExportButton:disabled {
    color: rgb(110, 115, 122);
}
#TimelinePanel QScrollBar::handle:disabled {
    background: transparent;
}
#TimelineWidget {
    qproperty-backgroundColor: rgb(24, 26, 29);
    qproperty-rowColor: rgb(30, 32, 36);
    qproperty-rulerColor: rgb(31, 34, 38);
    qproperty-gridColor: rgb(52, 56, 61);
    qproperty-textColor: rgb(170, 176, 184);
    qproperty-selectionColor: rgba(4, 137, 245, 70);
    qproperty-cursorColor: rgb(255, 196, 0);
    qproperty-regularColor: rgb(47, 143, 216);
    qproperty-alarmColor: rgb(224, 75, 58);
    qproperty-motionColor: rgb(230, 162, 60);
    qproperty-otherColor: rgb(59, 178, 115);
}
