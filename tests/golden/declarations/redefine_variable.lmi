var x
var y x
