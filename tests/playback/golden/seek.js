status   = "playing";
artist   = "Queen";
title    = "Innuendo";
position = 12;
duration = 200;
bitrate  = "128 kbps";
filesize = "3.200.000 Bytes";
repeat    = true
shuffle   = true
prevFiles = new Array(
             "A" );
nextFiles = new Array(
             "B" );
