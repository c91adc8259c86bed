#pragma once

// The labels the error boxes name a failed procedure by. They are texts users see and quote, kept
// as they have always read; the functions that use them have names of their own.
namespace Label {
// "<label><number> / Msg:<description>" boxes, titled "Pirune"
inline constexpr char startUp[] = "Form_Load Code:";
inline constexpr char shutDown[] = "Form_Unload Code:";
inline constexpr char closeButton[] = "cmdEnd_Click Code:";
inline constexpr char refreshList[] = "SetDispFromMemory Code:";
inline constexpr char saveFile[] = "SaveDataToFile Code:";
inline constexpr char reloadFile[] = "ReloadDataFile Code:";
inline constexpr char checkInput[] = "Input_check Code:";
inline constexpr char addNotice[] = "cmd_Add_Click Code:";
inline constexpr char changeNotice[] = "cmd_Settei_Click Code:";
inline constexpr char pickNotice[] = "lstItiran_Click Code:";
inline constexpr char deleteNotice[] = "cmd_Del_Click Code:";
inline constexpr char clearEditor[] = "cmd_Clear_Click Code:";
inline constexpr char mainResize[] = "Form_Resize Code:";
inline constexpr char timerPass[] = "Timer1_Timer Code:";
inline constexpr char missedCheck[] = "CheckMituuti Code:";
inline constexpr char openMessage[] = "multiMessageBox Code:";
inline constexpr char messageOk[] = "cmdOk_Click Code:";
inline constexpr char messageResize[] = "Form_Resize Code:";
inline constexpr char trayDoubleClick[] = "TrayControl1_DblClick Code:";
inline constexpr char trayClick[] = "TrayControl1_Click Code:";
inline constexpr char trayMenu[] = "mnu_Popup_Click Code:";

// "ｴﾗｰ" boxes of the text procedures
inline constexpr char splitFields[] = "Split";
inline constexpr char lineBreaksToMarks[] = "Cmn_ConvCRLFtoMark";
inline constexpr char withoutTabs[] = "Cmn_CutTab";
inline constexpr char marksToLineBreaks[] = "Cmn_ConvMarktoCRLF";

// Details of a failure: the control or list line it happened at ("%1" the value or index)
inline constexpr char listLine[] = "lstItiran(%1)";
inline constexpr char timeFieldText[] = "txt_SetteiJikoku.Text = \"%1\"";
inline constexpr char datePickerValue[] = "DTP_YMD.Value = \"%1\"";
} // namespace Label
