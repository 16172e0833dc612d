; The installer's and the uninstaller's messages, in English and Traditional Chinese, the
; languages NSIS.template.in sets up.

LangString InUse ${LANG_ENGLISH} "${APP} is running, or one of its files is open in another \
program:$\r$\n$R1$\r$\n$\r$\nClose it, then choose Retry."
LangString InUse ${LANG_TRADCHINESE} "${APP} 正在執行，或它的檔案正被其他程式開啟：$\r$\n$R1\
$\r$\n$\r$\n請先關閉它，再按「重試」。"
LangString Elsewhere ${LANG_ENGLISH} "${APP} is already installed in $R2.$\r$\n$\r$\nUpdate it \
there, or first remove it in Settings > Apps."
LangString Elsewhere ${LANG_TRADCHINESE} "${APP} 已經安裝在 $R2。$\r$\n$\r$\n請更新那裡的版本，\
或先在「設定 > 應用程式」中移除它。"
LangString NotAFolder ${LANG_ENGLISH} "$R2 is a file: $INSTDIR cannot be a folder."
LangString NotAFolder ${LANG_TRADCHINESE} "$R2 是一個檔案：$INSTDIR 無法成為資料夾。"
LangString Clash ${LANG_ENGLISH} "$INSTDIR holds another program's $R1, which ${APP} would \
replace.$\r$\n$\r$\nChoose another folder."
LangString Clash ${LANG_TRADCHINESE} "$INSTDIR 已有其他程式的 $R1，${APP} 會覆蓋它。\
$\r$\n$\r$\n請選擇其他資料夾。"
LangString Others ${LANG_ENGLISH} "$INSTDIR already holds files that ${APP} did not install. \
${APP} will add its own beside them and never change or remove theirs.$\r$\n$\r$\nInstall here?"
LangString Others ${LANG_TRADCHINESE} "$INSTDIR 已有不是 ${APP} 安裝的檔案。${APP} 會把自己的\
檔案放在旁邊，絕不更動或刪除那些檔案。$\r$\n$\r$\n要安裝在這裡嗎？"
LangString NotAbsolute ${LANG_ENGLISH} "$INSTDIR is not a full path, such as C:\Till."
LangString NotAbsolute ${LANG_TRADCHINESE} "$INSTDIR 不是完整路徑，例如 C:\Till。"
LangString NoDrive ${LANG_ENGLISH} "The drive of $INSTDIR does not exist."
LangString NoDrive ${LANG_TRADCHINESE} "$INSTDIR 所在的磁碟機不存在。"
LangString NotWritable ${LANG_ENGLISH} "$R2 cannot be written to: $INSTDIR cannot be made there."
LangString NotWritable ${LANG_TRADCHINESE} "無法寫入 $R2：無法在那裡建立 $INSTDIR。"
LangString NotWritten ${LANG_ENGLISH} "$INSTDIR\Uninstall.exe could not be written. Nothing was installed."
LangString NotWritten ${LANG_TRADCHINESE} "無法寫入 $INSTDIR\Uninstall.exe，未安裝任何檔案。"
LangString Downgrade ${LANG_ENGLISH} "${APP} $R3 is installed in $INSTDIR, newer than this \
${VERSION}.$\r$\n$\r$\nReplace it with the older version ${VERSION}?"
LangString Downgrade ${LANG_TRADCHINESE} "$INSTDIR 已安裝 ${APP} $R3，比這個 \
${VERSION} 新。$\r$\n$\r$\n要改用較舊的版本 ${VERSION} 嗎？"
LangString OldNotRemoved ${LANG_ENGLISH} "The installed version could not be removed (code $R1). \
Nothing new was installed."
LangString OldNotRemoved ${LANG_TRADCHINESE} "無法移除已安裝的版本（代碼 $R1），未安裝任何新檔案。"
LangString NotRemoved ${LANG_ENGLISH} "Some files could not be removed. Close ${APP}, then \
remove it again."
LangString NotRemoved ${LANG_TRADCHINESE} "有些檔案無法移除。請關閉 ${APP} 後再移除一次。"
