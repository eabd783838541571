<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Vorlan::Widget</name>
    <message>
        <location filename="../panel/widget.cpp" line="+35"/>
        <source>%1:%2</source>
        <translation>%1:%2</translation>
    </message>
    <message>
        <location line="+90"/>
        <source>Warning!</source>
        <translation>Achtung!</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>You close the control panel, which is in the manual control mode. Would you like to switch the controller in local mode?</source>
        <translation>Sie schließen das Bedienfeld, während das Steuergerät unter Zentralsteuerung steht. Soll das Steuergerät in den Ortsbetrieb zurückgeschaltet werden?</translation>
    </message>
</context>
<context>
    <name>Vorlan::Widget::Private</name>
    <message>
        <location filename="../panel/controller/widget_p.cpp" line="+67"/>
        <source>s</source>
        <translation> s</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The time of automatic switch to local mode, if the operator is not active</source>
        <translation>Zeit ohne Bedienung, nach der das Steuergerät automatisch in den Ortsbetrieb zurückgeschaltet wird</translation>
    </message>
    <message>
        <location line="+64"/>
        <source>%1:%2</source>
        <translation>%1:%2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Set stage number %1: %2</source>
        <translation>Phase %1 schalten: %2</translation>
    </message>
    <message>
        <location line="+142"/>
        <source>Disconnected</source>
        <translation>Keine Verbindung</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Stage %1</source>
        <translation>Phase %1</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Power switch level</source>
        <translation>Ebene Lastschalter</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>YF</source>
        <translation>Gelbblinken</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Signaling groups level</source>
        <translation>Ebene Signalgruppen</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unknown state</source>
        <translation>Unbekannter Zustand</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location line="+3"/>
        <source> DC: %1</source>
        <translation> Zentrale: %1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source> Sending command: %1</source>
        <translation> Befehl wird gesendet: %1</translation>
    </message>
</context>
<context>
    <name>widget</name>
    <message>
        <location filename="../panel/controller/panelform.ui" line="+53"/>
        <source>DC</source>
        <translation>Zentrale</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Activate the dispatch control</source>
        <translation>Zentralsteuerung übernehmen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>YF</source>
        <translation>Gelbblinken</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Manual control  to flashing yellow</source>
        <translation>Handeingriff: auf Gelbblinken schalten</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Manual control  to dark</source>
        <translation>Handeingriff: Anlage dunkel schalten</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Restart</source>
        <translation>Neustart</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Restart the controller</source>
        <translation>Steuergerät neu starten</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Sound</source>
        <translation>Ton</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Alarm sound off/on</source>
        <translation>Alarmton aus/ein</translation>
    </message>
</context>
</TS>
