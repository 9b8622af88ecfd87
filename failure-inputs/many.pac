#frames: 999999999
