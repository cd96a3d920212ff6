# Sourced by the screenshot scripts: writes the settings of a two-panel
# window with the tool bar and address bars shown, the left panel on $1 and
# the right one on $2, into the private HOME the script has set up.
screenshot_settings() {
  mkdir -p $XDG_CONFIG_HOME/Quenvar
  cat > $XDG_CONFIG_HOME/Quenvar/Settings.conf <<CONF
[General]
InitVersion=1
ViewPath=true
ViewUp=true
ViewToolbar=true
DualPanel=true
ContextMenuEnabled=true
RecycleBin=true
UseSecondChannel=true
ArchiveHiddenItems=true
ShouldRememberLastDirectory=true

[Path]
0=$1
1=$2
CONF
}
