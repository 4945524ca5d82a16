status   = "paused";
artist   = "<FONT COLOR=\"#A0A0A0\">(Unbekannt)<\/FONT>";
title    = "Yesterday";
position = 0;
duration = 250;
bitrate  = "128 kbps";
filesize = "4.000.000 Bytes";
repeat    = false
shuffle   = true
prevFiles = new Array();
nextFiles = new Array(
             "Queen - Innuendo",
             "Line\nBreak\x01",
             "Café" );
